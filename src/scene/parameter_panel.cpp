// The ImGui context is the panel's own and made current only while the panel works, so the settings
// dialog's context (or anyone else's) is never disturbed; it is made at the first opening.
#include "scene/parameter_panel.h"

#include "engine/cls3d_engine.h"
#include "scene/traffic_panel.h"
#include "sim/mdl_kl.h"
#include "sim/traffic_parameters_file.h"
#include "traffic/parameter_text.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <imgui.h>
#include <iostream>

namespace kl::scene {

namespace {

// What the sliders show: the desired speed in km/h, as the status line does; the rest in the
// units the model works in. Their ranges are those the parameter file accepts.
struct Slider {
    const char* Label;
    double IdmParameters::*Member;
    double Shown; // shown value per model value
    const char* Format;
};
constexpr Slider kSliders[] = {
    {"desired speed v0, km/h", &IdmParameters::DesiredSpeed, 3.6, "%.0f"},
    {"time headway T, s", &IdmParameters::TimeHeadway, 1.0, "%.2f"},
    {"minimum gap s0, m", &IdmParameters::MinimumGap, 1.0, "%.1f"},
    {"acceleration a, m/s2", &IdmParameters::MaxAcceleration, 1.0, "%.2f"},
    {"comf. braking b, m/s2", &IdmParameters::ComfortDeceleration, 1.0, "%.2f"},
    {"politeness p", &IdmParameters::Politeness, 1.0, "%.2f"},
    {"change threshold, m/s2", &IdmParameters::Threshold, 1.0, "%.2f"},
};

constexpr const char* kInflowLabel = "inflow, veh/h a lane";
constexpr const char* kRampInflowLabel = "ramp inflow, veh/h";
constexpr const char* kLaneChangesLabel = "lane changes";
constexpr const char* kAutomatedLabel = "automated a lane";

const ParameterField& field_of(double IdmParameters::*member) {
    const auto& fields = parameter_fields();
    return *std::find_if(fields.begin(), fields.end(),
                         [&](const ParameterField& f) { return f.Member == member; });
}

// ImGui's own font is a pixel font: it stays sharp only at whole multiples of its size.
constexpr float kFontPixels = 13.0f;
constexpr float kPanelWidth = 360.0f, kMargin = 8.0f;

float panel_scale(std::int32_t width, std::int32_t height) {
    return std::max(
        1.0f, std::floor(std::min(static_cast<float>(width) / 640.0f, static_cast<float>(height) / 480.0f)));
}

// Makes the panel's context current for its life and puts the previous one back.
class ContextScope {
  public:
    explicit ContextScope(ImGuiContext* context) : previous_(ImGui::GetCurrentContext()) {
        ImGui::SetCurrentContext(context);
    }
    ~ContextScope() { ImGui::SetCurrentContext(previous_); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

  private:
    ImGuiContext* previous_;
};

} // namespace

ParameterPanel::~ParameterPanel() {
    Release();
}

void ParameterPanel::Frame(const std::array<std::uint8_t, 256>& keys, float wall_seconds, TrafficModel* model,
                           mdlKl::ProgramState& program) {
    Program = &program;
    const bool down = keys[kParameterPanelKey] != 0;
    if (down && !KeyDown) set_open(!Open);
    KeyDown = down;
    if (!Open) return;
    if (Context == nullptr) make_context();

    const ContextScope scope(Context);
    ImGuiIO& io = ImGui::GetIO();
    const SettingsRecord& settings = Program->Settings;
    io.DisplaySize = ImVec2(static_cast<float>(std::max(settings.Width, 1)),
                            static_cast<float>(std::max(settings.Height, 1)));
    // ImGui needs time to pass; a paused or first frame counts as a 60th of a second.
    const float seconds = wall_seconds;
    io.DeltaTime = seconds > 0.0f && std::isfinite(seconds) ? seconds : 1.0f / 60.0f;
    platform::PointerState pointer;
    if (Program->Input) pointer = Program->Input->ReadPointer();
    io.MousePos = pointer.Present ? ImVec2(pointer.X, pointer.Y) : ImVec2(-FLT_MAX, -FLT_MAX);
    io.MouseDown[0] = pointer.Present && pointer.Left;

    ImGui::NewFrame();
    build(model);
    ImGui::Render();
    if (const ImDrawData* data = ImGui::GetDrawData()) Drawing.Draw(*data);
}

void ParameterPanel::Release() {
    set_open(false);
    Drawing.Release();
    if (Context != nullptr) {
        ImGuiContext* previous = ImGui::GetCurrentContext();
        ImGui::DestroyContext(Context);
        if (previous != Context) ImGui::SetCurrentContext(previous);
        Context = nullptr;
    }
    Areas.clear();
}

std::optional<ParameterPanel::Area> ParameterPanel::area(const std::string& label) const {
    const auto it = Areas.find(label);
    if (it == Areas.end()) return std::nullopt;
    return it->second;
}

void ParameterPanel::set_open(bool open) {
    if (open == Open) return;
    Open = open;
    // The cursor shows only while the panel is open, and goes back to however the program had it.
    gfx::Device* device = CurrentDevice();
    clsInput* input = Program != nullptr ? Program->Input.get() : nullptr;
    if (open) {
        if (input != nullptr) input->FreePointer(true);
        if (device != nullptr) CursorWasShown = device->ShowCursor(true);
    } else {
        if (device != nullptr) device->ShowCursor(CursorWasShown);
        if (input != nullptr) input->FreePointer(false);
    }
}

void ParameterPanel::make_context() {
    const SettingsRecord& settings = Program->Settings;
    const float scale = panel_scale(settings.Width, settings.Height);
    Context = ImGui::CreateContext();
    const ContextScope scope(Context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImFontConfig font;
    font.SizePixels = kFontPixels * scale;
    io.Fonts->AddFontDefault(&font);
    ImGui::StyleColorsDark();
    ImGui::GetStyle().ScaleAllSizes(scale);
    // Without the texture the panel still works, unseen.
    if (!Drawing.CreateFontTexture(*io.Fonts))
        std::cerr
            << "Kelvane 3D: the parameter panel's font could not be made a texture; the panel is not shown\n";
}

void ParameterPanel::note_area(const char* label) {
    const ImVec2 low = ImGui::GetItemRectMin(), high = ImGui::GetItemRectMax();
    Areas[label] = {low.x, low.y, high.x, high.y};
}

// The street: the scenario, and the lengths and inflows of the chosen one. A new scenario brings its
// own parameters and starts the traffic afresh; a new length makes the street anew once its slider is
// let go; the inflows reach the running traffic as they move.
void ParameterPanel::street_controls(TrafficModel* model, float width) {
    mdlKl::ProgramState& program = *Program;
    int in_row = 0;
    for (const TrafficScenario scenario : AllScenarios) {
        if (in_row++ % 2 == 1) ImGui::SameLine(width * 0.5f);
        const std::string label = std::string("street: ") + traffic_scenario_name(scenario);
        if (ImGui::RadioButton(label.c_str(), program.Scenario == scenario) && program.Scenario != scenario) {
            const std::string problem =
                ChooseScenario(program, scenario, program.TrafficParametersFile.parent_path());
            if (!problem.empty()) std::cerr << "Kelvane 3D: " << problem << "\n";
            SaveMessage.clear();
            Restart = true;
        }
        note_area(label.c_str());
    }
    ImGui::PushItemWidth(width * 0.5f);
    const auto length_slider = [&](const char* label, double& value, double low, double high) {
        double shown = value;
        if (ImGui::SliderScalar(label, ImGuiDataType_Double, &shown, &low, &high, "%.0f"))
            value = std::clamp(shown, low, high);
        if (ImGui::IsItemDeactivatedAfterEdit()) Restart = true;
        note_area(label);
    };
    if (program.Scenario == TrafficScenario::Ring) {
        ImGui::BeginDisabled(program.Vary.Key == RingLengthKey);
        length_slider("ring length a lane, m", program.RingLength, MinRingLength, MaxRingLength);
        ImGui::EndDisabled();
    }
    if (has_inflow(program.Scenario)) {
        length_slider("road length, m", program.RoadLength, MinRoadLength, MaxRoadLength);
        const ScenarioSettings chosen = program.ScenarioChosen();
        double inflow = chosen.Inflow, ramp = chosen.RampInflow;
        const double none = 0, most = MaxInflow, most_ramp = MaxRampInflow;
        ImGui::BeginDisabled(program.Vary.Key == InflowKey);
        bool moved = ImGui::SliderScalar(kInflowLabel, ImGuiDataType_Double, &inflow, &none, &most, "%.0f");
        ImGui::EndDisabled();
        note_area(kInflowLabel);
        if (program.Scenario == TrafficScenario::Onramp) {
            ImGui::BeginDisabled(program.Vary.Key == RampInflowKey);
            moved = ImGui::SliderScalar(kRampInflowLabel, ImGuiDataType_Double, &ramp, &none, &most_ramp,
                                        "%.0f") ||
                    moved;
            ImGui::EndDisabled();
            note_area(kRampInflowLabel);
        }
        if (moved) {
            program.Inflow = std::clamp(inflow, none, most);
            program.RampInflow = std::clamp(ramp, none, most_ramp);
            if (model != nullptr) model->set_inflows(program.Inflow, program.RampInflow);
        }
    }
    automated_slider(model);
    ImGui::PopItemWidth();
}

// The automated vehicles act on the running traffic as the slider moves: on the ring each lane's
// vehicles are chosen anew, on a road fed by an inflow the next to enter are.
void ParameterPanel::automated_slider(TrafficModel* model) {
    mdlKl::ProgramState& program = *Program;
    if (!takes_automated(program.Scenario)) return;
    int shown = program.AutomatedPerLane;
    if (ImGui::SliderInt(kAutomatedLabel, &shown, 0, MaxAutomatedPerLane)) {
        program.AutomatedPerLane = std::clamp(shown, 0, MaxAutomatedPerLane);
        if (model != nullptr) model->set_automated_per_lane(program.AutomatedPerLane);
    }
    note_area(kAutomatedLabel);
}

void ParameterPanel::build(TrafficModel* model) {
    IdmParameters& P = Program->TrafficParameters;
    const float scale = ImGui::GetFontSize() / kFontPixels;
    const float width = kPanelWidth * scale;
    // At the right, below where the statistics panel (F2) reaches, so that both can be open at once.
    const auto below_statistics =
        static_cast<float>(panel_layout(Program->Settings.Width, Program->Settings.Height).Y2);
    // On a screen too low for both, it rises to the bottom right corner and covers some of the other.
    const float bottom = ImGui::GetIO().DisplaySize.y - kMargin * scale;
    // Its height told beforehand from its rows (title, note, two of streets, lengths and inflows,
    // sliders, buttons, message), so that it stands where it belongs from the first frame.
    const TrafficScenario scenario = Program->Scenario;
    const float rows = 14.0f + (Program->Vary.active() ? 1.0f : 0.0f) + (scenario == TrafficScenario::Ring ? 1.0f : 0.0f) +
                       (takes_automated(scenario) ? 1.0f : 0.0f) +
                       (scenario == TrafficScenario::Roadworks ? 2.0f : 0.0f) +
                       (scenario == TrafficScenario::Onramp ? 3.0f : 0.0f);
    // Experiments: the lane-change switch.
    const float experiment_rows = 1.0f;
    const float height =
        (rows + experiment_rows) * ImGui::GetFrameHeightWithSpacing() + 2 * ImGui::GetStyle().WindowPadding.y;
    // Its top stays put whatever it shows, so that nothing moves under the pointer.
    const float top = std::max(0.0f, std::min(below_statistics + kMargin * scale, bottom - height));
    ImGui::SetNextWindowPos(ImVec2(ImGui::GetIO().DisplaySize.x - width - kMargin * scale, top));
    ImGui::SetNextWindowSize(ImVec2(width, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.85f);
    ImGui::Begin("Car-following model (F3)", nullptr,
                 ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse |
                     ImGuiWindowFlags_NoSavedSettings);
    if (model == nullptr || model->kind() != TrafficModelKind::Idm)
        ImGui::TextWrapped(
            "These values apply to the idm traffic model; the classic one is running: M switches.");
    mdlKl::ProgramState& program = *Program;
    // The swept key is each road's own: its slider is off, and the line says what the roads run.
    if (program.Vary.active())
        ImGui::Text("swept: %s %g to %g", program.Vary.Key.c_str(), program.Vary.From, program.Vary.To);
    street_controls(model, width);
    // Experiments: off, each lane is a road of its own, from the next step on.
    if (bool on = program.LaneChanges; ImGui::Checkbox(kLaneChangesLabel, &on)) {
        program.LaneChanges = on;
        if (model != nullptr) model->set_lane_changes(on);
    }
    note_area(kLaneChangesLabel);
    ImGui::PushItemWidth(width * 0.5f);
    for (const Slider& s : kSliders) {
        const ParameterField& f = field_of(s.Member);
        double shown = P.*(s.Member) * s.Shown;
        const double low = f.Low * s.Shown, high = f.High * s.Shown;
        ImGui::BeginDisabled(program.Vary.parameter() == s.Member);
        // Written back only when moved, so an untouched value keeps every digit it had.
        if (ImGui::SliderScalar(s.Label, ImGuiDataType_Double, &shown, &low, &high, s.Format))
            P.*(s.Member) = std::clamp(shown / s.Shown, f.Low, f.High);
        ImGui::EndDisabled();
        note_area(s.Label);
    }
    ImGui::PopItemWidth();
    if (ImGui::Button("Reset")) {
        P = scenario_default_parameters(program.Scenario);
        SaveMessage.clear();
    }
    note_area("Reset");
    ImGui::SameLine();
    if (ImGui::Button("Save")) save();
    note_area("Save");
    if (!SaveMessage.empty()) ImGui::TextWrapped("%s", SaveMessage.c_str());
    ImGui::End();
}

void ParameterPanel::save() {
    const std::filesystem::path& file = Program->TrafficParametersFile;
    const std::string error = SaveTrafficParameters(file, Program->TrafficParameters);
    if (error.empty()) {
        SaveMessage = "Saved to " + file.string();
        return;
    }
    SaveMessage = "Not saved: " + error;
    std::cerr << "Kelvane 3D: the traffic model's parameters were not saved: " << error << "\n";
}

} // namespace kl::scene
