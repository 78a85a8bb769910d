#include "fcitx5/engine.h"

#include <fcitx-config/iniparser.h>
#include <fcitx-utils/keysym.h>
#include <fcitx-utils/utf8.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addonmanager.h>
#include <fcitx/inputcontext.h>
#include <fcitx/statusarea.h>
#include <fcitx/surroundingtext.h>
#include <fcitx/userinterfacemanager.h>

namespace zimbrots {
namespace {

constexpr const char* ConfigFile = "conf/zimbrots.conf";

const char* ModeSymbol(bool converting) { return converting ? "|-|" : "H"; }

// Whether the program shows text just before the cursor, with nothing selected.
bool TextBeforeCursorIs(const fcitx::InputContext& ic, const std::string& expected)
{
    const fcitx::SurroundingText& surrounding = ic.surroundingText();
    if (!surrounding.isValid() || surrounding.cursor() != surrounding.anchor())
        return false;
    const std::string& text = surrounding.text();
    const std::size_t end = fcitx::utf8::ncharByteLength(text.begin(), surrounding.cursor());
    return end >= expected.size() && text.compare(end - expected.size(), expected.size(), expected) == 0;
}

}  // namespace

Fcitx5Engine::Fcitx5Engine(fcitx::Instance* instance)
    : instance_(instance), fields_([this](fcitx::InputContext&) {
          // Each letter goes into the text as it is typed: no word is held open to lose.
          auto* field = new Fcitx5Field(settings_);
          field->typing.SetDirect(true);
          return field;
      })
{
    instance_->inputContextManager().registerProperty("zimbrots-field", &fields_);
    switch_.setShortText(ModeSymbol(true));
    switch_.setLongText(LabelText(Label::HackerWriting));
    switch_.connect<fcitx::SimpleAction::Activated>([this](fcitx::InputContext* ic) {
        Carry(*ic, ic->propertyFor(&fields_)->typing.SetConverting(!settings_.converting), nullptr);
    });
    instance_->userInterfaceManager().registerAction("zimbrots-switch", &switch_);
    reloadConfig();
}

Fcitx5Engine::~Fcitx5Engine() = default;

void Fcitx5Engine::keyEvent(const fcitx::InputMethodEntry&, fcitx::KeyEvent& event)
{
    fcitx::InputContext& ic = *event.inputContext();
    Typing& typing = ic.propertyFor(&fields_)->typing;
    Key key;
    key.keysym = event.rawKey().sym();
    key.modifiers = event.rawKey().states();
    key.character = fcitx::Key::keySymToUnicode(event.key().sym());
    key.released = event.isRelease();
    Carry(ic, typing.Press(key), &event);
}

// Carries out the typing library's answer; the key is the program's unless it is handled.
void Fcitx5Engine::Carry(fcitx::InputContext& ic, const Answer& answer, fcitx::KeyEvent* event)
{
    if (answer.takeBack > 0) {
        // Only the word's own text is taken back: from the text the program tells, once it shows
        // it there; elsewhere by a Backspace for each character, sent on as the program's keys.
        if (ic.capabilityFlags().test(fcitx::CapabilityFlag::SurroundingText)) {
            if (!TextBeforeCursorIs(ic, answer.takenBack)) {
                ic.propertyFor(&fields_)->typing.Forget();
                return;
            }
            ic.deleteSurroundingText(-int(answer.takeBack), unsigned(answer.takeBack));
        } else {
            for (std::size_t i = 0; i < answer.takeBack; i++) {
                ic.forwardKey(fcitx::Key(FcitxKey_BackSpace), false);
                ic.forwardKey(fcitx::Key(FcitxKey_BackSpace), true);
            }
        }
    }
    if (!answer.commit.empty())
        ic.commitString(answer.commit);
    if (answer.switched) {
        switch_.setShortText(ModeSymbol(settings_.converting));
        switch_.setLongText(LabelText(settings_.converting ? Label::HackerWriting : Label::HackerWritingOff));
        switch_.update(&ic);
        ic.updateUserInterface(fcitx::UserInterfaceComponent::StatusArea);
    }
    if (event && answer.handled)
        event->filterAndAccept();
}

void Fcitx5Engine::activate(const fcitx::InputMethodEntry&, fcitx::InputContextEvent& event)
{
    event.inputContext()->statusArea().addAction(fcitx::StatusGroup::InputMethod, &switch_);
}

void Fcitx5Engine::deactivate(const fcitx::InputMethodEntry& entry, fcitx::InputContextEvent& event)
{
    reset(entry, event);
}

// The program reset the field or lost the keys: a new word.
void Fcitx5Engine::reset(const fcitx::InputMethodEntry&, fcitx::InputContextEvent& event)
{
    event.inputContext()->propertyFor(&fields_)->typing.Reset();
}

std::string Fcitx5Engine::subModeLabelImpl(const fcitx::InputMethodEntry&, fcitx::InputContext&)
{
    return ModeSymbol(settings_.converting);
}

std::string Fcitx5Engine::subModeIconImpl(const fcitx::InputMethodEntry&, fcitx::InputContext&) { return {}; }

void Fcitx5Engine::setConfig(const fcitx::RawConfig& config)
{
    config_.load(config, true);
    fcitx::safeSaveAsIni(config_, ConfigFile);
    UseConfig();
}

void Fcitx5Engine::reloadConfig()
{
    fcitx::readAsIni(config_, ConfigFile);
    UseConfig();
}

void Fcitx5Engine::UseConfig()
{
    const std::vector<fcitx::Key>& keys = *config_.switchKey;
    settings_.switchKeysym = keys.empty() ? 0 : keys.front().sym();
    settings_.switchModifiers = keys.empty() ? 0 : keys.front().states();
}

class Fcitx5EngineFactory : public fcitx::AddonFactory {
public:
    fcitx::AddonInstance* create(fcitx::AddonManager* manager) override
    {
        return new Fcitx5Engine(manager->instance());
    }
};

}  // namespace zimbrots

FCITX_ADDON_FACTORY(zimbrots::Fcitx5EngineFactory)
