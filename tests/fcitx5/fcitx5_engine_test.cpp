// The Fcitx5 add-on in a Fcitx5 instance of the test's own, with no display: Fcitx5's test input
// method stands for the keyboard, and a field of the test's holds what a program receives.
#include <fcitx-utils/eventdispatcher.h>
#include <fcitx-utils/keysym.h>
#include <fcitx-utils/testing.h>
#include <fcitx-utils/utf8.h>
#include <fcitx/action.h>
#include <fcitx/addonmanager.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/inputmethodengine.h>
#include <fcitx/inputmethodentry.h>
#include <fcitx/inputmethodgroup.h>
#include <fcitx/inputmethodmanager.h>
#include <fcitx/instance.h>
#include <fcitx/userinterfacemanager.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// A program's field: commits go in, deletes and Backspaces take out, and, where it tells its
// text, it tells it after each change.
class Field : public fcitx::InputContext {
public:
    Field(fcitx::InputContextManager& manager, bool tells) : InputContext(manager, "zimbrots-test"), tells_(tells)
    {
        created();
        if (tells)
            setCapabilityFlags(fcitx::CapabilityFlag::SurroundingText);
        Tell();
    }
    ~Field() override { destroy(); }
    const char* frontend() const override { return "zimbrots-test"; }
    void commitStringImpl(const std::string& committed) override
    {
        text += committed;
        Tell();
    }
    void deleteSurroundingTextImpl(int offset, unsigned int size) override
    {
        EXPECT_EQ(offset, -int(size));
        Erase(size);
    }
    void forwardKeyImpl(const fcitx::ForwardKeyEvent& key) override
    {
        if (key.rawKey().sym() == FcitxKey_BackSpace && !key.isRelease())
            Erase(1);
    }
    void updatePreeditImpl() override {}

    // Presses and releases each key; true when the add-on took every press.
    bool Press(std::initializer_list<fcitx::Key> keys)
    {
        bool taken = true;
        for (const fcitx::Key& key : keys) {
            fcitx::KeyEvent press(this, key, false), release(this, key, true);
            taken = keyEvent(press) && taken;
            EXPECT_FALSE(keyEvent(release));
        }
        return taken;
    }
    bool Type(const std::string& typed)
    {
        bool taken = true;
        for (auto c = typed.begin(); c != typed.end(); c = fcitx::utf8::nextChar(c))
            taken = Press({fcitx::Key(fcitx::Key::keySymFromUnicode(fcitx::utf8::getChar(c, typed.end())))}) && taken;
        return taken;
    }
    void Tell()
    {
        if (!tells_)
            return;
        const unsigned length = unsigned(fcitx::utf8::length(text));
        surroundingText().setText(text, length, length);
        updateSurroundingText();
    }

    std::string text;

private:
    void Erase(unsigned characters)
    {
        const std::size_t length = fcitx::utf8::length(text);
        ASSERT_LE(characters, length);
        text.erase(fcitx::utf8::ncharByteLength(text.begin(), length - characters));
        Tell();
    }

    bool tells_;
};

// Runs the checks inside a Fcitx5 instance with the add-on as the field's input method.
void InFcitx5(const std::function<void(fcitx::Instance&)>& checks)
{
    fcitx::setupTestingEnvironment(ZIMBROTS_BINARY_DIR, {"fcitx5"}, {"fcitx5/data"});
    char name[] = "fcitx5_engine_test", disable[] = "--disable=all", enable[] = "--enable=testim,zimbrots";
    char* argv[] = {name, disable, enable};
    fcitx::Instance instance(3, argv);
    instance.addonManager().registerDefaultLoader(nullptr);
    fcitx::EventDispatcher dispatcher;
    dispatcher.attach(&instance.eventLoop());
    dispatcher.schedule([&] {
        fcitx::InputMethodGroup group("Test");
        group.inputMethodList().push_back(fcitx::InputMethodGroupItem("keyboard-us"));
        group.inputMethodList().push_back(fcitx::InputMethodGroupItem("zimbrots"));
        instance.inputMethodManager().addEmptyGroup("Test");
        instance.inputMethodManager().setGroup(group);
        instance.inputMethodManager().setCurrentGroup("Test");
        checks(instance);
        dispatcher.detach();
        instance.exit();
    });
    instance.exec();
}

Field& FocusedField(fcitx::Instance& instance, bool tells)
{
    auto* field = new Field(instance.inputContextManager(), tells);
    field->focusIn();
    instance.setCurrentInputMethod(field, "zimbrots", true);
    return *field;
}

// The IBus engine's cases: letters go straight in, AltGr's and dead keys' Latvian letters, a
// letter taken back by Backspaces or from the text the program tells (only while it is what was
// typed), Escape, shortcuts, and losing the keys; then the switch from the status area and the
// key set in the configuration.
TEST(Fcitx5Engine, TypesTakesBackAndSwitches)
{
    InFcitx5([](fcitx::Instance& instance) {
        ASSERT_TRUE(instance.inputMethodManager().entry("zimbrots")) << "Fcitx5 lists no input method zimbrots";
        EXPECT_EQ(instance.inputMethodManager().entry("zimbrots")->languageCode(), "lv");
        for (const bool tells : {false, true}) {
            Field& field = FocusedField(instance, tells);
            EXPECT_TRUE(field.Press({fcitx::Key("Shift+H"), fcitx::Key(FcitxKey_amacron, fcitx::KeyState::Mod5),
                                     fcitx::Key(FcitxKey_dead_caron), fcitx::Key("c")}));
            EXPECT_FALSE(field.Press({fcitx::Key("Control+c")}));
            EXPECT_TRUE(field.Type(" Labš"));
            EXPECT_TRUE(field.Press({fcitx::Key(FcitxKey_BackSpace)}));
            EXPECT_EQ(field.text, "|-|44(|-| |_4b");
            EXPECT_TRUE(field.Press({fcitx::Key(FcitxKey_Escape)}));
            EXPECT_TRUE(field.Type(" ūdens"));
            field.focusOut();
            field.focusIn();
            EXPECT_EQ(field.text, "|-|44(|-| Lab |_||_|d3|\\|5");
            EXPECT_FALSE(field.Press({fcitx::Key(FcitxKey_BackSpace)})) << "after the focus left, the program's";
            if (tells) {
                EXPECT_TRUE(field.Type(" ab"));
                field.text = "something else";
                field.Tell();
                EXPECT_FALSE(field.Press({fcitx::Key(FcitxKey_BackSpace)}));
                EXPECT_EQ(field.text, "something else");
            }
            delete &field;
        }
        Field& field = FocusedField(instance, false);
        auto* engine = static_cast<fcitx::InputMethodEngine*>(instance.addonManager().addon("zimbrots"));
        const fcitx::InputMethodEntry& entry = *instance.inputMethodManager().entry("zimbrots");
        fcitx::Action* switchAction = instance.userInterfaceManager().lookupAction("zimbrots-switch");
        ASSERT_TRUE(switchAction);
        EXPECT_EQ(engine->subModeLabel(entry, field), "|-|");
        switchAction->activate(&field);
        EXPECT_EQ(switchAction->shortText(&field), "H");
        EXPECT_EQ(engine->subModeLabel(entry, field), "H");
        EXPECT_FALSE(field.Type("Hi")) << "as typed, letters are the program's";
        EXPECT_TRUE(field.Press({fcitx::Key(FcitxKey_dead_macron), fcitx::Key("a")}));
        EXPECT_EQ(field.text, "ā") << "dead keys still compose";
        fcitx::RawConfig config;
        config.setValueByPath("SwitchKey/0", "Control+Shift+H");
        engine->setConfig(config);
        EXPECT_TRUE(field.Press({fcitx::Key("Control+Shift+H")}));
        EXPECT_EQ(switchAction->shortText(&field), "|-|");
        EXPECT_TRUE(field.Type("a"));
        EXPECT_EQ(field.text, "ā4");
        delete &field;
    });
}

}  // namespace
