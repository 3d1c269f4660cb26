// A scene over the recording back-end for the scene tests: a small data folder of box meshes (no
// textures), a hand-stepped clock, a hand-driven keyboard, and queries on what a frame drew.
#pragma once

#include "engine/cls3d_engine.h"
#include "platform/d3dx/mesh.h"
#include "platform/gfx/recording/recording_system.h"
#include "platform/input/key_names.h"
#include "platform/os/performance_counter.h"
#include "resources/scene_textures.h"
#include "scene/run_scene.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"
#include "support/fake_input.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace kl::test {

inline const char* const kSceneMeshes[] = {"SKY1.x",    "s-all.x",   "MODEL1.x", "_ROUTE.x",   "206.x",
                                           "CLASS_A.x", "CLIO_II.x", "DUCATO.x", "TRANSIT.x",  "CHRYSLER.x",
                                           "cone.x",    "barrier.x", "ramp.x",   "lane-ends.x"};

// a and b within tol of each other in every component.
inline ::testing::AssertionResult Near(const Vec3& a, const Vec3& b, float tol = 0.0f) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x
                                         << ", " << b.y << ", " << b.z << ")";
}

class SceneTest : public ::testing::Test {
  protected:
    static constexpr std::int64_t kTicksPerSecond = 1'000'000;

    SceneTest() {
        for (const char* name : kSceneMeshes)
            write_mesh(name);
        SetDataRoot(data.path());
        mdlKl::ResetProgram();
        mdlKl::ProgramState& program = mdlKl::Program();
        program.Settings.LastPlayer = 0;
        program.Settings.RoundLimit = 1;
        program.Settings.WorldSize = 64000.0f;
        program.Settings.PlayerSpeed = 20.0f;
        program.Settings.AspectRatio = "1,333";
        program.Gear = 1;
        program.LastFrameTime = 0.0f;
        program.Rnd.seed(1);

        // A device with a stencil buffer, so that the blended-shadow clear can be seen.
        sys->adapters[0].depth_stencil_formats = {gfx::FmtD24S8, gfx::FmtD16};
        program.Engine = std::make_unique<cls3dEngine>();
        program.Engine->SetGraphicsFactory([this] { return sys; });
        program.Engine->SetMessagePump([] { return true; });
        program.Engine->SetAspectRatioSource(&program.Settings.AspectRatio);
        program.Engine->SetPerformanceCounter(counter);
        DisplayMode mode{800, 600, gfx::FmtX8R8G8B8};
        program.Settings.SetMode(mode);
        EXPECT_TRUE(program.Engine->Initialize(nullptr) && program.Engine->SetRes(&mode, 0, false));

        program.Input = std::make_unique<clsInput>();
        program.Input->SetInputFactory(input);
        EXPECT_TRUE(program.Input->Initialize(nullptr, false, false));
    }

    ~SceneTest() override {
        state.reset();
        scene::ReleaseScene(mdlKl::Program());
        d3dx::ClearMeshFileCache();
        mdlKl::ResetProgram();
    }

    void write_mesh(const std::string& name) {
        WriteXFile(data.path() / "3z-idaveva" / name, BoxMesh({-1, -1, -1}, {1, 1, 1}));
    }

    // Set-up and the first round start.
    void set_up(std::int16_t roads) {
        ASSERT_TRUE(scene::SetUpScene(S, {roads}));
        scene::StartRound(S);
    }

    // One frame of the given length with exactly these keys down.
    scene::FrameExit frame(double seconds = 0.02, std::initializer_list<int> keys = {}) {
        input.keys = {};
        for (int k : keys)
            input.Press(k);
        counter.Advance(static_cast<std::int64_t>(seconds * kTicksPerSecond + 0.5));
        mark = log().Mark();
        return scene::RunFrame(S);
    }

    gfx::CallLog& log() { return sys->Log(); }
    gfx::CallLog last_frame() const { return sys->Log().Since(mark); }

    // Where the objects of the last frame were drawn (x, y on the ground, z up): one entry per draw
    // with an object's own transform, and one per object drawn from the buildings' batch, whose
    // draws carry no transform.
    std::vector<Vec3> drawn_positions() const {
        std::vector<Vec3> out;
        const double* world = nullptr;
        const gfx::CallLog frame_log = last_frame();
        const auto in_place = [](const double* m) {
            for (int i = 0; i < 16; ++i)
                if (m[i] != (i % 5 == 0 ? 1.0 : 0.0)) return false;
            return true;
        };
        for (const gfx::Call& c : frame_log.Calls()) {
            if (c.name == "SetTransform" && !c.args.empty() && c.args[0] == static_cast<double>(gfx::TsWorld))
                world = c.args.data() + 1;
            if (c.name == "DrawIndexedPrimitive" && world != nullptr && !in_place(world))
                out.push_back({static_cast<float>(world[12]), static_cast<float>(world[14]),
                               static_cast<float>(world[13])});
        }
        // What the batches drew: in world space, with no transform of their own to show it.
        std::vector<cls3dObject*> batched = S.Street.Roads.LastDrawnObjects();
        for (cls3dObject* o : S.Street.Buildings.LastDrawnObjects())
            batched.push_back(o);
        for (const cls3dObject* o : batched) {
            const Vec3 p = o->Position();
            out.push_back({p.x, p.z, p.y});
        }
        // The vehicles' batch draws many vehicles with one model: each where its transform put it.
        for (const Matrix4& w : S.Street.VehicleBatch.LastDrawnWorlds())
            out.push_back({w.m41, w.m43, w.m42});
        return out;
    }

    Player& user() { return mdlKl::PlayerAt(0); }

    TempDir data;
    std::shared_ptr<gfx::RecordingSystem> sys = std::make_shared<gfx::RecordingSystem>();
    platform::SteppedCounter counter{kTicksPerSecond, 5 * kTicksPerSecond};
    FakeInput input;
    std::unique_ptr<scene::SceneState> state = std::make_unique<scene::SceneState>(mdlKl::Program());
    scene::SceneState& S = *state;
    std::size_t mark = 0;
};

} // namespace kl::test
