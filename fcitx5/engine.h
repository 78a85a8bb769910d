// The Fcitx5 input method "zimbrots": hacker writing as the user types, through the typing
// library, with its switch in the status area and a key the user may set.
#pragma once

#include "typing/labels.h"
#include "typing/typing.h"

#include <fcitx-config/configuration.h>
#include <fcitx-config/option.h>
#include <fcitx/action.h>
#include <fcitx/inputcontextproperty.h>
#include <fcitx/inputmethodengine.h>
#include <fcitx/instance.h>

namespace zimbrots {

FCITX_CONFIGURATION(Fcitx5Config, fcitx::KeyListOption switchKey{
                                      this, "SwitchKey", LabelText(Label::SwitchKey), {},
                                      fcitx::KeyListConstrain({fcitx::KeyConstrainFlag::AllowModifierLess})};);

// Each program's field types on its own.
struct Fcitx5Field : fcitx::InputContextProperty {
    explicit Fcitx5Field(TypingSettings& settings) : typing(settings) {}
    Typing typing;
};

class Fcitx5Engine : public fcitx::InputMethodEngineV2 {
public:
    explicit Fcitx5Engine(fcitx::Instance* instance);
    ~Fcitx5Engine() override;

    void keyEvent(const fcitx::InputMethodEntry& entry, fcitx::KeyEvent& event) override;
    void activate(const fcitx::InputMethodEntry& entry, fcitx::InputContextEvent& event) override;
    void deactivate(const fcitx::InputMethodEntry& entry, fcitx::InputContextEvent& event) override;
    void reset(const fcitx::InputMethodEntry& entry, fcitx::InputContextEvent& event) override;
    std::string subModeLabelImpl(const fcitx::InputMethodEntry& entry, fcitx::InputContext& ic) override;
    std::string subModeIconImpl(const fcitx::InputMethodEntry& entry, fcitx::InputContext& ic) override;
    const fcitx::Configuration* getConfig() const override { return &config_; }
    void setConfig(const fcitx::RawConfig& config) override;
    void reloadConfig() override;

private:
    void Carry(fcitx::InputContext& ic, const Answer& answer, fcitx::KeyEvent* event);
    void UseConfig();

    fcitx::Instance* instance_;
    TypingSettings settings_;
    Fcitx5Config config_;
    fcitx::FactoryFor<Fcitx5Field> fields_;
    fcitx::SimpleAction switch_;
};

}  // namespace zimbrots
