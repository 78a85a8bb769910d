#include "ibus/engine.h"

#include "typing/labels.h"
#include "typing/typing.h"

#include <cstring>
#include <string>

namespace {

using zimbrots::Answer;
using zimbrots::Label;
using zimbrots::LabelText;
using zimbrots::Typing;

// One for the engine's process: the switch holds in every program for the session.
zimbrots::TypingSettings settings;

struct ZimbrotsEngine {
    IBusEngine parent;
    Typing* typing;
    IBusPropList* properties;
    IBusProperty* mode;  // "InputMode", which GNOME's keyboard menu shows
    // IBus moves one engine between programs as they take the keys, and what it keeps of the
    // text around the cursor stays the last program's until the new one tells its own.
    bool told;
};

struct ZimbrotsEngineClass {
    IBusEngineClass parent;
};

}  // namespace

G_DEFINE_TYPE(ZimbrotsEngine, zimbrots_engine, IBUS_TYPE_ENGINE)

namespace {

ZimbrotsEngine* Self(IBusEngine* engine) { return reinterpret_cast<ZimbrotsEngine*>(engine); }

// The key code IBus gives Backspace (the kernel's, as IBus passes them on).
constexpr guint BackSpaceKeycode = 14;

constexpr const char* HackerChoice = "InputMode.Hacker";
constexpr const char* TypedChoice = "InputMode.AsTyped";

IBusProperty* Choice(const char* name, const char* label)
{
    return ibus_property_new(name, PROP_TYPE_RADIO, ibus_text_new_from_static_string(label), nullptr, nullptr, TRUE,
                             TRUE, PROP_STATE_UNCHECKED, nullptr);
}

// The menu's state and the symbol on the panel follow the switch.
void ShowMode(ZimbrotsEngine* self)
{
    IBusEngine* engine = &self->parent;
    ibus_property_set_symbol(self->mode, ibus_text_new_from_static_string(settings.converting ? "|-|" : "H"));
    ibus_property_set_label(self->mode, ibus_text_new_from_static_string(LabelText(
                                            settings.converting ? Label::HackerWriting : Label::HackerWritingOff)));
    IBusPropList* choices = ibus_property_get_sub_props(self->mode);
    for (guint i = 0; IBusProperty* choice = ibus_prop_list_get(choices, i); i++) {
        const bool hacker = std::strcmp(ibus_property_get_key(choice), HackerChoice) == 0;
        ibus_property_set_state(choice, hacker == settings.converting ? PROP_STATE_CHECKED : PROP_STATE_UNCHECKED);
        ibus_engine_update_property(engine, choice);
    }
    ibus_engine_update_property(engine, self->mode);
}

// Whether the program holds text just before the cursor, with nothing selected.
bool TextBeforeCursorIs(ZimbrotsEngine* self, const std::string& expected)
{
    IBusEngine* engine = &self->parent;
    if (!self->told)
        return false;
    IBusText* text = nullptr;
    guint cursor = 0, anchor = 0;
    ibus_engine_get_surrounding_text(engine, &text, &cursor, &anchor);
    if (!text || cursor != anchor)
        return false;
    const char* all = ibus_text_get_text(text);
    const char* end = g_utf8_offset_to_pointer(all, glong(cursor));
    const std::size_t before = std::size_t(end - all);
    return before >= expected.size() && std::memcmp(end - expected.size(), expected.data(), expected.size()) == 0;
}

// Takes back characters the engine put just before the cursor: where the program tells its
// text, by deleting them once it shows them there; elsewhere by a Backspace for each, sent on
// as the program's own keys. False where the program shows something else there.
bool TakeBack(ZimbrotsEngine* self, const Answer& answer)
{
    IBusEngine* engine = &self->parent;
    if (engine->client_capabilities & IBUS_CAP_SURROUNDING_TEXT) {
        if (!TextBeforeCursorIs(self, answer.takenBack))
            return false;
        ibus_engine_delete_surrounding_text(engine, -gint(answer.takeBack), guint(answer.takeBack));
        return true;
    }
    for (std::size_t i = 0; i < answer.takeBack; i++) {
        ibus_engine_forward_key_event(engine, IBUS_KEY_BackSpace, BackSpaceKeycode, 0);
        ibus_engine_forward_key_event(engine, IBUS_KEY_BackSpace, BackSpaceKeycode, IBUS_RELEASE_MASK);
    }
    return true;
}

// Carries out the typing library's answer; false where the key goes on to the program.
gboolean Carry(ZimbrotsEngine* self, const Answer& answer)
{
    IBusEngine* engine = &self->parent;
    // Only the word's own text is taken back: where the program shows something else there,
    // the word is left as it stands and the key is the program's.
    if (answer.takeBack > 0 && !TakeBack(self, answer)) {
        self->typing->Forget();
        return FALSE;
    }
    if (!answer.commit.empty())
        ibus_engine_commit_text(engine, ibus_text_new_from_string(answer.commit.c_str()));
    if (answer.switched)
        ShowMode(self);
    return answer.handled;
}

gboolean ProcessKeyEvent(IBusEngine* engine, guint keyval, guint /*keycode*/, guint state)
{
    ZimbrotsEngine* self = Self(engine);
    zimbrots::Key key;
    key.keysym = keyval;
    key.modifiers = state & ~guint(IBUS_RELEASE_MASK);
    key.character = ibus_keyval_to_unicode(keyval);
    key.released = state & IBUS_RELEASE_MASK;
    return Carry(self, self->typing->Press(key));
}

void PropertyActivate(IBusEngine* engine, const gchar* name, guint state)
{
    if (state != PROP_STATE_CHECKED)
        return;
    ZimbrotsEngine* self = Self(engine);
    if (std::strcmp(name, HackerChoice) == 0 || std::strcmp(name, TypedChoice) == 0)
        Carry(self, self->typing->SetConverting(std::strcmp(name, HackerChoice) == 0));
}

// The program reset the field or lost the keys, or another engine took over: a new word.
void Forget(IBusEngine* engine) { Self(engine)->typing->Reset(); }

void SetSurroundingText(IBusEngine* engine, IBusText* text, guint cursor, guint anchor)
{
    IBUS_ENGINE_CLASS(zimbrots_engine_parent_class)->set_surrounding_text(engine, text, cursor, anchor);
    Self(engine)->told = true;
}

// Asks the program for the text around the cursor.
void AskForSurroundingText(IBusEngine* engine) { ibus_engine_get_surrounding_text(engine, nullptr, nullptr, nullptr); }

void FocusIn(IBusEngine* engine)
{
    ZimbrotsEngine* self = Self(engine);
    self->told = false;
    AskForSurroundingText(engine);
    ibus_engine_register_properties(engine, self->properties);
    ShowMode(self);
}

}  // namespace

void zimbrots_engine_set_switch_key(guint keyval, guint modifiers)
{
    settings.switchKeysym = keyval;
    settings.switchModifiers = modifiers;
}

static void zimbrots_engine_init(ZimbrotsEngine* self)
{
    self->typing = new Typing(settings);
    // Each letter goes into the text as it is typed, in every program: a word held open as
    // preedit is lost where Qt's plugin drops what comes after its window lost the keys, and
    // where IBus moves its one engine to the next program before the word is put in (XIM).
    self->typing->SetDirect(true);
    self->told = false;
    IBusPropList* choices = ibus_prop_list_new();
    ibus_prop_list_append(choices, Choice(HackerChoice, LabelText(Label::HackerWriting)));
    ibus_prop_list_append(choices, Choice(TypedChoice, LabelText(Label::AsTyped)));
    self->mode = ibus_property_new("InputMode", PROP_TYPE_MENU, ibus_text_new_from_static_string(LabelText(Label::HackerWriting)),
                                   nullptr, nullptr, TRUE, TRUE, PROP_STATE_UNCHECKED, choices);
    self->properties = ibus_prop_list_new();
    g_object_ref_sink(self->properties);
    ibus_prop_list_append(self->properties, self->mode);
}

static void zimbrots_engine_finalize(GObject* object)
{
    ZimbrotsEngine* self = reinterpret_cast<ZimbrotsEngine*>(object);
    delete self->typing;
    g_object_unref(self->properties);
    G_OBJECT_CLASS(zimbrots_engine_parent_class)->finalize(object);
}

static void zimbrots_engine_class_init(ZimbrotsEngineClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = zimbrots_engine_finalize;
    IBusEngineClass* engine = IBUS_ENGINE_CLASS(klass);
    engine->process_key_event = ProcessKeyEvent;
    engine->property_activate = PropertyActivate;
    engine->focus_in = FocusIn;
    engine->focus_out = Forget;
    engine->reset = Forget;
    engine->disable = Forget;
    engine->enable = AskForSurroundingText;
    engine->set_surrounding_text = SetSurroundingText;
}
