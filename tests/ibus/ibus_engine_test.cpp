// The engine in a real ibus-daemon (with_ibus_daemon.sh), through an input context as a program
// holds one: keys in; what the program's field then holds out.
#include <gtest/gtest.h>
#include <ibus.h>

#include <string>
#include <vector>

namespace {

struct Key {
    guint keyval, state = 0;
};

class IbusEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus_ = ibus_bus_new();
        ASSERT_TRUE(ibus_bus_is_connected(bus_)) << "no ibus-daemon: run through with_ibus_daemon.sh";
        context_ = ibus_bus_create_input_context(bus_, "zimbrots-test");
        ibus_input_context_set_capabilities(context_,
                                            IBUS_CAP_PREEDIT_TEXT | IBUS_CAP_FOCUS | IBUS_CAP_PROPERTY | Capabilities());
        g_signal_connect(context_, "commit-text", G_CALLBACK(+[](IBusInputContext*, IBusText* text, IbusEngine* self) {
            self->field_ += ibus_text_get_text(text);
            self->Tell();
        }), this);
        // As a program that tells its text does: the characters before the cursor go.
        g_signal_connect(context_, "delete-surrounding-text",
                         G_CALLBACK(+[](IBusInputContext*, gint offset, guint characters, IbusEngine* self) {
            ASSERT_EQ(offset, -gint(characters));
            self->Erase(characters);
        }), this);
        // A Backspace sent on to the program takes a character.
        g_signal_connect(context_, "forward-key-event",
                         G_CALLBACK(+[](IBusInputContext*, guint keyval, guint, guint state, IbusEngine* self) {
            ASSERT_EQ(keyval, guint(IBUS_KEY_BackSpace));
            if (!(state & IBUS_RELEASE_MASK))
                self->Erase(1);
        }), this);
        g_signal_connect(context_, "update-property", G_CALLBACK(+[](IBusInputContext*, IBusProperty* property,
                                                                      IbusEngine* self) {
            if (g_strcmp0(ibus_property_get_key(property), "InputMode") == 0 && ibus_property_get_symbol(property))
                self->mode_ = ibus_text_get_text(ibus_property_get_symbol(property));
        }), this);
        ibus_input_context_focus_in(context_);
        // As `ibus engine zimbrots` chooses it: for the focused context. The daemon starts the
        // engine's process first.
        ASSERT_TRUE(ibus_bus_set_global_engine(bus_, "zimbrots"));
        const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
        for (std::string name; name != "zimbrots"; g_usleep(10000)) {
            ASSERT_LT(g_get_monotonic_time(), deadline) << "the engine is " << name;
            IBusEngineDesc* engine = ibus_bus_get_global_engine(bus_);
            name = engine ? ibus_engine_desc_get_name(engine) : "";
            g_clear_object(&engine);
        }
    }
    void TearDown() override
    {
        ibus_proxy_destroy(IBUS_PROXY(context_));
        g_object_unref(context_);
        g_object_unref(bus_);
    }
    virtual guint Capabilities() { return 0; }
    // What the program tells of the text around its cursor, where it tells it.
    void Tell()
    {
        if (Capabilities() & IBUS_CAP_SURROUNDING_TEXT) {
            const guint end = guint(g_utf8_strlen(field_.c_str(), -1));
            ibus_input_context_set_surrounding_text(context_, ibus_text_new_from_string(field_.c_str()), end, end);
        }
    }
    void Erase(guint characters)
    {
        const glong length = g_utf8_strlen(field_.c_str(), -1);
        ASSERT_LE(glong(characters), length);
        field_.resize(std::size_t(g_utf8_offset_to_pointer(field_.c_str(), length - characters) - field_.c_str()));
        Tell();
    }
    // Presses and releases each key; true when the engine took every press.
    bool Press(const std::vector<Key>& keys)
    {
        bool taken = true;
        for (const Key& key : keys) {
            taken = ibus_input_context_process_key_event(context_, key.keyval, 0, key.state) && taken;
            EXPECT_FALSE(ibus_input_context_process_key_event(context_, key.keyval, 0, key.state | IBUS_RELEASE_MASK));
        }
        Sync();
        return taken;
    }
    bool Type(const std::string& text)
    {
        std::vector<Key> keys;
        for (const char* c = text.c_str(); *c; c = g_utf8_next_char(c)) {
            const gunichar u = g_utf8_get_char(c);
            keys.push_back({ibus_unicode_to_keyval(u), g_unichar_isupper(u) ? guint(IBUS_SHIFT_MASK) : 0u});
        }
        return Press(keys);
    }
    // A call that waits for its answer: what the daemon sent before it has come, and is handled.
    void Sync()
    {
        ibus_bus_name_has_owner(bus_, "org.freedesktop.IBus.Zimbrots");
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    // For what comes from the engine unasked: waits until it has come.
    template <typename Seen>
    bool WaitFor(Seen seen)
    {
        const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
        while (!seen() && g_get_monotonic_time() < deadline) {
            g_usleep(1000);
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
        return seen();
    }
    bool ModeShows(const char* symbol) { return WaitFor([&] { return mode_ == symbol; }); }
    // Backspace takes back the last letter typed, Escape puts the word back as typed; losing
    // the keys leaves the word where it is, once.
    void TakeBackAndLoseTheKeys()
    {
        EXPECT_TRUE(Type("Labš"));
        EXPECT_TRUE(Press({{IBUS_KEY_BackSpace}}));
        EXPECT_EQ(field_, "|_4b");
        EXPECT_TRUE(Press({{IBUS_KEY_Escape}}));
        EXPECT_EQ(field_, "Lab");
        EXPECT_TRUE(Type(" ūdens"));
        ibus_input_context_focus_out(context_);
        Sync();
        ibus_input_context_focus_in(context_);
        EXPECT_EQ(field_, "Lab |_||_|d3|\\|5");
    }

    IBusBus* bus_ = nullptr;
    IBusInputContext* context_ = nullptr;
    std::string field_;  // what the program holds up to the cursor
    std::string mode_;   // the symbol the panel shows for the switch
};

// A program that tells the text around its cursor, as GTK and Qt programs do.
class IbusEngineTold : public IbusEngine {
protected:
    guint Capabilities() override { return IBUS_CAP_SURROUNDING_TEXT; }
};

// Letters go straight into the text: AltGr's ā comes through IBus's keymap, Ctrl+C is the
// program's, and a letter is taken back by Backspaces sent on to a program that does not tell
// its text; losing the keys leaves the word where it is, once.
TEST_F(IbusEngine, TakesBackALetterByBackspaces)
{
    EXPECT_TRUE(Press({{IBUS_KEY_H, IBUS_SHIFT_MASK}, {IBUS_KEY_amacron, IBUS_MOD5_MASK}}));
    EXPECT_FALSE(Press({{IBUS_KEY_c, IBUS_CONTROL_MASK}}));
    EXPECT_EQ(field_, "|-|44");
    field_.clear();
    TakeBackAndLoseTheKeys();
}

// Where the program tells its text, a letter is taken back from it, but only while the text
// before the cursor is what was typed there: otherwise the key is the program's.
TEST_F(IbusEngineTold, TakesBackOnlyItsOwnText)
{
    ASSERT_TRUE(WaitFor([&] { return ibus_input_context_needs_surrounding_text(context_); }))
        << "the engine never asked for the text around the cursor";
    TakeBackAndLoseTheKeys();
    EXPECT_FALSE(Press({{IBUS_KEY_BackSpace}})) << "after the focus left, Backspace is the program's";
    EXPECT_TRUE(Type(" ab"));
    field_ = "something else";
    Tell();
    EXPECT_FALSE(Press({{IBUS_KEY_BackSpace}}));
    EXPECT_EQ(field_, "something else");
}

// Off, keys go to the program as typed; the menu and the switch key turn it on and off, and the
// panel's symbol follows.
TEST_F(IbusEngine, SwitchesFromTheMenuAndTheKey)
{
    ASSERT_TRUE(ModeShows("|-|"));
    ibus_input_context_property_activate(context_, "InputMode.AsTyped", PROP_STATE_CHECKED);
    ASSERT_TRUE(ModeShows("H"));
    EXPECT_FALSE(Type("Hello")) << "as typed, letters are the program's";
    EXPECT_TRUE(Press({{IBUS_KEY_dead_macron}, {IBUS_KEY_a}}));
    EXPECT_EQ(field_, "ā") << "dead keys still compose";
    ibus_input_context_property_activate(context_, "InputMode.Hacker", PROP_STATE_CHECKED);
    ASSERT_TRUE(ModeShows("|-|"));
    EXPECT_TRUE(Type("a"));
    EXPECT_EQ(field_, "ā4");

    IBusConfig* config = ibus_bus_get_config(bus_);
    ASSERT_TRUE(config);
    ASSERT_TRUE(ibus_config_set_value(config, "engine/zimbrots", "switch-key", g_variant_new_string("Control+Shift+h")));
    // The engine hears of it through the daemon: the key is taken once it knows it.
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!Press({{IBUS_KEY_H, IBUS_CONTROL_MASK | IBUS_SHIFT_MASK}}))
        ASSERT_LT(g_get_monotonic_time(), deadline) << "the switch key was never taken";
    ASSERT_TRUE(ModeShows("H"));
    EXPECT_FALSE(Type("x"));
    EXPECT_TRUE(Press({{IBUS_KEY_H, IBUS_CONTROL_MASK | IBUS_SHIFT_MASK}}));
    EXPECT_TRUE(ModeShows("|-|"));
    ibus_config_unset(config, "engine/zimbrots", "switch-key");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ibus_init();
    return RUN_ALL_TESTS();
}
