#include "ibus/engine.h"

#include "conversion/convert.h"
#include "ibus/key_composer.h"
#include "ibus/typed_word.h"

#include <string>

namespace {

using zimbrots::KeyComposer;
using zimbrots::TypedWord;

struct ZimbrotsEngine {
    IBusEngine parent;
    TypedWord* word;
    KeyComposer* composer;
};

struct ZimbrotsEngineClass {
    IBusEngineClass parent;
};

// Modifiers that make a key a shortcut: the application's, never typed. AltGr (Mod5) and
// Shift choose a letter instead.
constexpr guint ShortcutModifiers =
    IBUS_CONTROL_MASK | IBUS_MOD1_MASK | IBUS_MOD4_MASK | IBUS_SUPER_MASK | IBUS_HYPER_MASK | IBUS_META_MASK;

bool IsModifierKey(guint keyval)
{
    return (keyval >= IBUS_KEY_Shift_L && keyval <= IBUS_KEY_Hyper_R) ||
           (keyval >= IBUS_KEY_ISO_Lock && keyval <= IBUS_KEY_ISO_Level5_Lock) || keyval == IBUS_KEY_Mode_switch ||
           keyval == IBUS_KEY_Num_Lock;
}

ZimbrotsEngine* Self(IBusEngine* engine) { return reinterpret_cast<ZimbrotsEngine*>(engine); }

// The word, converted, as preedit. Shown in commit mode, so that IBus puts it into the text
// whenever the field loses the focus, is reset or the engine is switched off.
void ShowWord(ZimbrotsEngine* self)
{
    IBusEngine* engine = &self->parent;
    if (self->word->Empty()) {
        ibus_engine_update_preedit_text_with_mode(engine, ibus_text_new_from_static_string(""), 0, FALSE,
                                                  IBUS_ENGINE_PREEDIT_CLEAR);
        return;
    }
    IBusText* text = ibus_text_new_from_string(self->word->Converted().c_str());
    const guint length = ibus_text_get_length(text);
    ibus_text_append_attribute(text, IBUS_ATTR_TYPE_UNDERLINE, IBUS_ATTR_UNDERLINE_SINGLE, 0, length);
    ibus_engine_update_preedit_text_with_mode(engine, text, length, TRUE, IBUS_ENGINE_PREEDIT_COMMIT);
}

// Puts the word into the text, converted (or as typed), followed by what ended it.
void CommitWord(ZimbrotsEngine* self, bool converted = true, const std::string& then = {})
{
    std::string text;
    if (!self->word->Empty()) {
        text = converted ? self->word->Converted() : self->word->Typed();
        self->word->Clear();
        ShowWord(self);
    }
    text += then;
    if (!text.empty())
        ibus_engine_commit_text(&self->parent, ibus_text_new_from_string(text.c_str()));
}

// Keys the engine does not use go to the application, after the word: shortcuts keep working.
gboolean PassOn(ZimbrotsEngine* self)
{
    self->composer->Reset();
    CommitWord(self);
    return FALSE;
}

gboolean ProcessKeyEvent(IBusEngine* engine, guint keyval, guint /*keycode*/, guint state)
{
    ZimbrotsEngine* self = Self(engine);
    if (state & IBUS_RELEASE_MASK)
        return FALSE;
    if (state & ShortcutModifiers)
        return PassOn(self);
    if (IsModifierKey(keyval))
        return FALSE;
    if (keyval == IBUS_KEY_BackSpace || keyval == IBUS_KEY_Escape) {
        if (self->composer->Waiting()) {
            self->composer->Reset();
            return TRUE;
        }
        if (self->word->Empty())
            return FALSE;
        // Escape keeps the word as it was typed.
        if (keyval == IBUS_KEY_Escape)
            CommitWord(self, false);
        else if (self->word->TakeBack())
            ShowWord(self);
        return TRUE;
    }
    char32_t c = 0;
    switch (self->composer->Feed(keyval, c)) {
    case KeyComposer::Outcome::Waiting:
    case KeyComposer::Outcome::Dropped:
        return TRUE;
    case KeyComposer::Outcome::NoCharacter:
        return PassOn(self);
    case KeyComposer::Outcome::Typed:
        break;
    }
    // Enter, Tab and the like act in the application as they always do.
    if (c < 0x20 || c == 0x7F)
        return PassOn(self);
    if (zimbrots::BelongsToWord(c)) {
        self->word->Add(c);
        ShowWord(self);
        return TRUE;
    }
    char bytes[6];
    const std::string character(bytes, std::size_t(g_unichar_to_utf8(c, bytes)));
    CommitWord(self, true, zimbrots::ConvertUtf8(character));
    return TRUE;
}

// IBus itself has put the preedit into the text (it was shown in commit mode): start afresh.
void Forget(IBusEngine* engine)
{
    ZimbrotsEngine* self = Self(engine);
    self->word->Clear();
    self->composer->Reset();
}

}  // namespace

G_DEFINE_TYPE(ZimbrotsEngine, zimbrots_engine, IBUS_TYPE_ENGINE)

static void zimbrots_engine_init(ZimbrotsEngine* self)
{
    self->word = new TypedWord;
    self->composer = new KeyComposer;
}

static void zimbrots_engine_finalize(GObject* object)
{
    ZimbrotsEngine* self = reinterpret_cast<ZimbrotsEngine*>(object);
    delete self->word;
    delete self->composer;
    G_OBJECT_CLASS(zimbrots_engine_parent_class)->finalize(object);
}

static void zimbrots_engine_class_init(ZimbrotsEngineClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = zimbrots_engine_finalize;
    IBusEngineClass* engine = IBUS_ENGINE_CLASS(klass);
    engine->process_key_event = ProcessKeyEvent;
    engine->focus_out = Forget;
    engine->reset = Forget;
    engine->disable = Forget;
}
