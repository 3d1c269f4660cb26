// The F3 parameter panel in the frame loop on the recording back-end, worked with a pointer as a
// user would: a slider changes the live parameters, Save writes a file that reads back the same,
// Reset brings the defaults back, and the device is left as the frame had it.
#include "scene/parameter_panel.h"
#include "scene/scene_fixture.h"
#include "sim/traffic_parameters_file.h"

#include <fstream>

namespace kl {
namespace {

class ParameterPanelTest : public test::SceneTest {
  protected:
    // The middle of a control of the last frame.
    std::pair<float, float> centre(const std::string& label) {
        const auto area = S.Parameters.area(label);
        EXPECT_TRUE(area) << label;
        if (!area) return {-1, -1};
        return {(area->X1 + area->X2) / 2, (area->Y1 + area->Y2) / 2};
    }
    // Pressed in one frame, let go in the next, as a click is.
    void click(float x, float y) {
        input.pointer = {true, x, y, true};
        frame();
        input.pointer.Left = false;
        frame();
    }
    void click(const std::string& label) {
        const auto [x, y] = centre(label);
        click(x, y);
    }
    // Pressed at a slider's left end and dragged far beyond its right end: its highest value.
    scene::FrameExit drag_to_top(const scene::ParameterPanel::Area& a) {
        const float y = (a.Y1 + a.Y2) / 2;
        input.pointer = {true, a.X1 + 1, y, true};
        frame();
        input.pointer.X = a.X1 + 5000;
        frame();
        input.pointer.Left = false;
        return frame();
    }

    // States the rest of the frame draws with, as the end of a frame leaves them.
    std::vector<double> device_states() {
        gfx::Device* d = Program().Engine->Device();
        std::vector<double> out;
        for (std::int32_t code : {gfx::rs::ZEnable, gfx::rs::AlphaBlendEnable, gfx::rs::CullMode,
                                  gfx::rs::FogEnable, gfx::rs::SrcBlend, gfx::rs::DestBlend}) {
            gfx::Dword v = 0;
            EXPECT_FALSE(platform::Failed(d->GetRenderState(code, &v)));
            out.push_back(v);
        }
        gfx::Viewport v;
        EXPECT_FALSE(platform::Failed(d->GetViewport(&v)));
        out.insert(out.end(), {double(v.X), double(v.Y), double(v.Width), double(v.Height)});
        gfx::Dword fvf = 0, op = 0;
        EXPECT_FALSE(platform::Failed(d->GetVertexShader(&fvf)));
        EXPECT_FALSE(platform::Failed(d->GetTextureStageState(0, gfx::tss::ColorOp, &op)));
        out.insert(out.end(), {double(fvf), double(op)});
        return out;
    }

    static mdlKl::ProgramState& Program() { return mdlKl::Program(); }
};

TEST_F(ParameterPanelTest, ASliderSaveAndResetActOnTheLiveParametersAndTheFile) {
    const auto file = data.path() / "settings" / "traffic-model.txt";
    Program().TrafficParametersFile = file;
    set_up(1);
    frame();
    const std::vector<double> without_panel = device_states();

    frame(0.02, {scene::kParameterPanelKey});
    frame();
    ASSERT_TRUE(S.Parameters.open());
    EXPECT_TRUE(input.pointer_free) << "the pointer is freed for the panel";
    EXPECT_EQ(log().Last("ShowCursor")->args, std::vector<double>{1.0}) << "the system's cursor shows";
    EXPECT_GT(last_frame().Count("DrawIndexedPrimitiveUP"), 0u) << "the panel is drawn through the device";
    EXPECT_EQ(device_states(), without_panel) << "the panel leaves the device as the frame had it";

    // The left end of the minimum gap's slider: its lowest value.
    const auto gap = S.Parameters.area("minimum gap s0, m");
    ASSERT_TRUE(gap);
    click(gap->X1 + 1, (gap->Y1 + gap->Y2) / 2);
    EXPECT_EQ(Program().TrafficParameters.MinimumGap, 0.5);
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is stored before Save";
    // Swept across the roads, the key is each road's own: its slider is off.
    Program().Vary = {"minimum_gap_m", 1, 3};
    frame();
    const auto swept = S.Parameters.area("minimum gap s0, m");
    ASSERT_TRUE(swept);
    drag_to_top(*swept);
    EXPECT_EQ(Program().TrafficParameters.MinimumGap, 0.5);
    Program().Vary = {};

    click("Save");
    IdmParameters read;
    EXPECT_EQ(LoadTrafficParameters(file, read), "");
    EXPECT_EQ(read, Program().TrafficParameters);
    EXPECT_EQ(read.MinimumGap, 0.5);

    click("Reset");
    EXPECT_EQ(Program().TrafficParameters, IdmParameters{});

    // A file that cannot be written: its folder would have to be where a file is.
    Program().TrafficParametersFile = file / "below a file" / "traffic-model.txt";
    click("Save");
    EXPECT_NE(S.Parameters.save_message().find("Not saved: cannot create the folder"), std::string::npos)
        << S.Parameters.save_message();

    frame(0.02, {scene::kParameterPanelKey});
    EXPECT_FALSE(S.Parameters.open());
    EXPECT_FALSE(input.pointer_free) << "the mouse is held for movement again";
    EXPECT_EQ(log().Last("ShowCursor")->args, std::vector<double>{0.0}) << "the cursor is hidden again";
    EXPECT_EQ(last_frame().Count("DrawIndexedPrimitiveUP"), 0u);
}

// Traffic that only keeps the inflows and the lane-change switch it was handed while running.
class InflowsKept final : public TrafficModel {
  public:
    TrafficModelKind kind() const override { return TrafficModelKind::Idm; }
    void set_up(std::int32_t roads, UniformSource&, VehicleList& Vehicles) override { Vehicles.start(roads); }
    void step(const TrafficFrame&, VehicleList&) override {}
    void set_inflows(double inflow, double ramp_inflow) override { Inflows = {inflow, ramp_inflow}; }
    void set_lane_changes(bool on) override { LaneChanges = on; }
    const TrafficTables& tables() const override { return tables_; }
    void dump(std::ostream&, std::int32_t, std::int64_t, float) const override {}
    std::pair<double, double> Inflows{-1, -1};
    bool LaneChanges = true;

  private:
    TrafficTables tables_;
};

// Any of the four streets is chosen with a click and starts the traffic afresh; on the on-ramp street
// the inflows go to the running traffic as their sliders move, and a new road length makes the
// street anew once let go; the lane-change switch reaches the running traffic at once and stays
// through a restart.
TEST_F(ParameterPanelTest, TheStreetIsChosenAmongAllFourAndTheInflowsAndLaneChangesReachTheRunningTraffic) {
    Program().TrafficKind = TrafficModelKind::Idm;
    Program().TrafficParametersFile = data.path() / "settings" / "traffic-model.txt";
    set_up(1);
    frame(0.02, {scene::kParameterPanelKey});
    frame();
    // Pressed, then let go: the frame that lets go asks for the restart.
    const auto release_over = [&](float x, float y) {
        input.pointer = {true, x, y, true};
        frame();
        input.pointer.Left = false;
        return frame();
    };
    for (const TrafficScenario street :
         {TrafficScenario::Ring, TrafficScenario::Roadworks, TrafficScenario::Onramp}) {
        const auto [x, y] = centre(std::string("street: ") + traffic_scenario_name(street));
        EXPECT_EQ(release_over(x, y), scene::FrameExit::Restart) << traffic_scenario_name(street);
        EXPECT_EQ(Program().Scenario, street);
        scene::SetUpTrafficState(S);
        frame();
    }
    auto kept = std::make_unique<InflowsKept>();
    InflowsKept& model = *kept;
    S.Model = std::move(kept);
    scene::SetUpTrafficState(S);
    frame();

    const auto inflow = S.Parameters.area("inflow, veh/h a lane");
    const auto ramp = S.Parameters.area("ramp inflow, veh/h");
    const auto length = S.Parameters.area("road length, m");
    ASSERT_TRUE(inflow && ramp && length);
    EXPECT_EQ(release_over(inflow->X1 + 1, (inflow->Y1 + inflow->Y2) / 2), scene::FrameExit::None);
    EXPECT_EQ(Program().Inflow, 0.0);
    EXPECT_EQ(model.Inflows.first, 0.0);
    EXPECT_EQ(model.Inflows.second, default_ramp_inflow(TrafficScenario::Onramp));
    EXPECT_EQ(drag_to_top(*ramp), scene::FrameExit::None);
    EXPECT_EQ(Program().RampInflow, MaxRampInflow);
    EXPECT_EQ(model.Inflows, std::make_pair(0.0, MaxRampInflow));
    click("lane changes");
    EXPECT_FALSE(Program().LaneChanges);
    EXPECT_FALSE(model.LaneChanges);
    EXPECT_EQ(drag_to_top(*length), scene::FrameExit::Restart);
    EXPECT_EQ(Program().RoadLength, MaxRoadLength);
    model.LaneChanges = true;
    scene::SetUpTrafficState(S);
    EXPECT_FALSE(model.LaneChanges) << "a restart keeps lane changes off";
    frame();

    const auto [x, y] = centre("street: open");
    EXPECT_EQ(release_over(x, y), scene::FrameExit::Restart);
    EXPECT_EQ(Program().Scenario, TrafficScenario::Open);
}

} // namespace
} // namespace kl
