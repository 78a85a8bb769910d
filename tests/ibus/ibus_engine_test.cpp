// The engine in a real ibus-daemon (with_ibus_daemon.sh), through an input context as a program
// holds one: keys in; what it commits and shows as preedit out.
#include <gtest/gtest.h>
#include <ibus.h>

#include <string>
#include <utility>
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
        ibus_input_context_set_capabilities(context_, IBUS_CAP_PREEDIT_TEXT | IBUS_CAP_FOCUS);
        g_signal_connect(context_, "commit-text", G_CALLBACK(+[](IBusInputContext*, IBusText* text, IbusEngine* self) {
            self->committed_ += ibus_text_get_text(text);
        }), this);
        g_signal_connect(context_, "update-preedit-text", G_CALLBACK(+[](IBusInputContext*, IBusText* text, guint,
                                                                          gboolean visible, IbusEngine* self) {
            self->preedit_ = visible ? ibus_text_get_text(text) : "";
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
    std::string Committed() { return std::exchange(committed_, {}); }

    IBusBus* bus_ = nullptr;
    IBusInputContext* context_ = nullptr;
    std::string committed_, preedit_;
};

// "Hello, ābols!" with the ā typed by AltGr on the Latvian layout, a dead key, or Compose.
TEST_F(IbusEngine, TypesHackerWritingAsPreeditThenCommitsIt)
{
    for (const std::vector<Key>& a : std::vector<std::vector<Key>>{{{IBUS_KEY_amacron, IBUS_MOD5_MASK}},
                                                                   {{IBUS_KEY_dead_macron}, {IBUS_KEY_a}},
                                                                   {{IBUS_KEY_Multi_key}, {IBUS_KEY_minus}, {IBUS_KEY_a}}}) {
        EXPECT_TRUE(Press({{IBUS_KEY_H, IBUS_SHIFT_MASK}, {IBUS_KEY_e}, {IBUS_KEY_l}}));
        EXPECT_EQ(preedit_, "|-|3|_");
        EXPECT_EQ(Committed(), "");
        EXPECT_TRUE(Type("lo, "));
        EXPECT_EQ(Committed(), "|-|3|_|_0, ");
        EXPECT_TRUE(Press(a));
        EXPECT_EQ(preedit_, "44");
        EXPECT_TRUE(Type("bols!"));
        EXPECT_EQ(preedit_, "");
        EXPECT_EQ(Committed(), "44b0|_5!");
    }
}

TEST_F(IbusEngine, BackspaceTakesBackALetterEscapeKeepsTheWordAsTyped)
{
    EXPECT_TRUE(Type("Labs"));
    EXPECT_TRUE(Press({{IBUS_KEY_BackSpace}}));
    EXPECT_EQ(preedit_, "|_4b");
    EXPECT_TRUE(Press({{IBUS_KEY_Escape}}));
    EXPECT_EQ(preedit_, "");
    EXPECT_EQ(Committed(), "Lab");
    EXPECT_FALSE(Press({{IBUS_KEY_BackSpace}, {IBUS_KEY_Escape}})) << "with no word, they are the program's";
}

// Nothing typed is lost: leaving the field, or the program resetting it, puts the word in.
TEST_F(IbusEngine, FocusOutAndResetCommitTheWord)
{
    EXPECT_TRUE(Type("ūdens"));
    ibus_input_context_focus_out(context_);
    Sync();
    EXPECT_EQ(Committed(), "|_||_|d3|\\|5");
    ibus_input_context_focus_in(context_);
    EXPECT_TRUE(Type("kaza"));
    ibus_input_context_reset(context_);
    Sync();
    EXPECT_EQ(Committed(), "k424");
    EXPECT_TRUE(Type("a"));
    EXPECT_EQ(preedit_, "4") << "a new word after the reset";
}

TEST_F(IbusEngine, ShortcutsEnterAndUnconvertedCharactersPass)
{
    EXPECT_TRUE(Type("Sveiki"));
    EXPECT_FALSE(Press({{IBUS_KEY_c, IBUS_CONTROL_MASK}})) << "Ctrl+C is the program's";
    EXPECT_EQ(Committed(), "5\\/3|k|") << "after the word";
    EXPECT_TRUE(Type("ok"));
    EXPECT_FALSE(Press({{IBUS_KEY_Return}}));
    EXPECT_EQ(Committed(), "0k");
    EXPECT_FALSE(Press({{IBUS_KEY_Left}}));
    EXPECT_TRUE(Type("7 жук 😀"));
    EXPECT_EQ(Committed(), "7 жук 😀") << "digits, other scripts and emoji as typed";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ibus_init();
    return RUN_ALL_TESTS();
}
