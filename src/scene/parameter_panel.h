// F3: the car-following model's parameters on sliders, with Reset and Save, drawn with Dear ImGui
// through the engine's device. Changes go straight to the program's live parameters, which the
// model reads before its next step; only Save writes them to a file.
#pragma once

#include "overlay/imgui_drawing.h"
#include "platform/input/key_names.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct ImGuiContext;

namespace kl {
class TrafficModel;
namespace mdlKl {
struct ProgramState;
}
} // namespace kl

namespace kl::scene {

// F3: a key no command uses.
inline constexpr std::uint8_t kParameterPanelKey = platform::key::F3;

class ParameterPanel {
  public:
    ParameterPanel() = default;
    ~ParameterPanel();
    ParameterPanel(const ParameterPanel&) = delete;
    ParameterPanel& operator=(const ParameterPanel&) = delete;

    // F3 opens or closes the panel (once per press); while it is open, the mouse's pointer is freed
    // and the system's cursor shown, and the panel is drawn into the current frame and takes what
    // the user did with the pointer.
    // keys is the frame's key state; wall_seconds the frame's time before pause and scale; model the
    // traffic running now. The program's parameters, scenario and input are read from program.
    // The inflow sliders hand their values to model as they move.
    void Frame(const std::array<std::uint8_t, 256>& keys, float wall_seconds, TrafficModel* model,
               mdlKl::ProgramState& program);
    // Closes the panel and lets go of ImGui and its texture; before the engine goes.
    void Release();

    bool open() const { return Open; }
    // True once after the scenario, the ring's length or the road's length was changed: the traffic is
    // to restart, as R does.
    bool take_restart() {
        const bool restart = Restart;
        Restart = false;
        return restart;
    }
    // What the last Save said: where the file went, or why it did not.
    const std::string& save_message() const { return SaveMessage; }
    // Where a control (a slider's or a button's label) was drawn in the last frame, in pixels.
    struct Area {
        float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    };
    std::optional<Area> area(const std::string& label) const;

  private:
    void set_open(bool open);
    void make_context();
    void build(TrafficModel* model);
    void street_controls(TrafficModel* model, float width);
    // The automated vehicles a lane, on the streets that take them.
    void automated_slider(TrafficModel* model);
    void save();
    void note_area(const char* label);

    bool Open = false;
    bool KeyDown = false;
    bool CursorWasShown = false;
    bool Restart = false;
    ImGuiContext* Context = nullptr;
    // The program state of the last Frame.
    mdlKl::ProgramState* Program = nullptr;
    ImguiDrawing Drawing;
    std::string SaveMessage;
    std::map<std::string, Area> Areas;
};

} // namespace kl::scene
