// The command table, tested in order every frame. A step command needs the user's vehicle alive, the
// controls enabled and enough frames since the last step for the current frame rate; after one step
// has taken effect no other can in the same frame.
#include "scene/keyboard_commands.h"

#include "platform/input/key_names.h"
#include "scene/guarded.h"
#include "sim/mdl_kl.h"

namespace kl::scene {

namespace {

namespace key = platform::key;

struct StepCommand {
    std::uint8_t code;
    // The user's vehicle, and the settings that keep its speed.
    void (*action)(Player&, SettingsRecord&);
};

const StepCommand kStepCommands[] = {
    {key::Left, [](Player& p, SettingsRecord&) { p.ChangeDirV(0); }},
    {key::Right, [](Player& p, SettingsRecord&) { p.ChangeDirV(1); }},
    {key::F,
     [](Player& p, SettingsRecord&) {
         p.ChangeDir(0);
         p.ChangeDirV(0);
     }},
    {key::H,
     [](Player& p, SettingsRecord&) {
         p.ChangeDir(1);
         p.ChangeDirV(1);
     }},
    {key::PageUp, [](Player& p, SettingsRecord&) { p.ChangeDirHV(0); }},
    {key::PageDown, [](Player& p, SettingsRecord&) { p.ChangeDirHV(1); }},
    {key::T, [](Player& p, SettingsRecord&) { p.ChangeDirH(0); }},
    {key::B, [](Player& p, SettingsRecord&) { p.ChangeDirH(1); }},
    {key::Up, [](Player&, SettingsRecord& settings) { settings.PlayerSpeed += 1; }},
    {key::Down, [](Player&, SettingsRecord& settings) { settings.PlayerSpeed -= 1; }},
};

} // namespace

FrameExit ApplyKeyboardCommands(SceneState& S) {
    const auto down = [&](std::uint8_t code) { return S.KeyBuffer[code] != 0; };

    for (const StepCommand& c : kStepCommands) {
        const bool takes_effect = holds_or_faults([&] {
            const double rate = S.FpsFrames / (static_cast<double>(S.FpsTime) + 0.00001);
            return down(c.code) && S.Program.PlayerAt(0).Alive && S.Round.ControlEnabled &&
                   S.FramesSinceStep > rate / 50;
        });
        if (takes_effect) {
            resume_past_fault([&] { c.action(S.Program.PlayerAt(0), S.Program.Settings); });
            S.FramesSinceStep = 0;
        }
    }

    if (down(key::Home)) {
        S.Program.Gear = static_cast<std::int16_t>(S.Program.Gear + 1);
        if (S.Program.Gear > 8) S.Program.Gear = 8;
    }
    if (down(key::Backspace)) {
        S.Program.Gear = static_cast<std::int16_t>(S.Program.Gear - 1);
        if (S.Program.Gear < 0) S.Program.Gear = 0;
    }
    if (down(key::Space)) S.Program.Settings.PlayerSpeed = 0;
    if (down(key::R)) return FrameExit::Restart;
    // M switches the traffic model once per press and starts the traffic afresh, as R does.
    const bool model_key = down(key::M);
    const bool switch_model = model_key && !S.ModelKeyDown;
    S.ModelKeyDown = model_key;
    if (switch_model) {
        S.Program.TrafficKind = S.Program.TrafficKind == TrafficModelKind::Classic
                                    ? TrafficModelKind::Idm
                                    : TrafficModelKind::Classic;
        return FrameExit::Restart;
    }

    if (down(key::Escape)) {
        S.EscLatch = true;
    } else if (S.EscLatch) {
        S.QuitPrompt = !S.QuitPrompt;
        S.EscLatch = false;
    }

    if (down(key::Return) || down(key::NumpadEnter)) {
        S.ReturnLatch = true;
    } else if (S.ReturnLatch) {
        if (S.QuitPrompt) return FrameExit::Quit;
        if (S.Round.RoundEndAllowed) return FrameExit::RoundEnd;
        S.ReturnLatch = false;
    }
    return FrameExit::None;
}

} // namespace kl::scene
