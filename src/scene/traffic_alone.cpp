// The traffic of a run without a window: the frame loop's traffic steps, its frame-rate windows and
// its observer, and nothing of the street that is drawn. Each step reads the clock as the frame loop
// does, so the traffic moves by the same frame times to the last bit.
#include "platform/os/performance_counter.h"
#include "scene/guarded.h"
#include "scene/run_scene.h"
#include "scene/scene_observer.h"
#include "sim/mdl_kl.h"

namespace kl::scene {

namespace {

// The engine clock on a fixed step, read as cls3dEngine::GetRelTimeDiff reads it after StartTimer:
// the seconds since the start as a float, and a frame's time the difference of two such readings.
class FixedClock {
  public:
    explicit FixedClock(double step_seconds) : Counter(step_seconds), Start(Counter.Now()) {}
    float next() {
        const float t = static_cast<float>(static_cast<double>(Counter.Now() - Start) /
                                           static_cast<double>(Counter.Frequency()));
        const float d = t - Last;
        Last = t;
        return d;
    }

  private:
    platform::FixedStepCounter Counter;
    std::int64_t Start;
    float Last = 0.0f;
};

} // namespace

void RunTrafficAlone(mdlKl::ProgramState& program, const RunConfiguration& run, const SceneHooks& hooks,
                     double step_seconds) {
    SceneState S(program);
    S.Observer = hooks.Observer;
    S.RoadCount = run.RoadCount;
    S.Round.TimeScale = 1.0f;
    TakeVehicleBoxesFromFiles(S.Street);
    SetUpTrafficModel(S);
    if (S.Observer) resume_past_fault([&] { S.Observer->traffic_set_up(S); });

    FixedClock clock(step_seconds);
    std::int64_t frames = 0;
    while (hooks.MaxFrames < 0 || frames < hooks.MaxFrames) {
        const float t = clock.next();
        S.FrameTime = t;
        S.FpsTime += t;
        if (S.FpsTime >= 0.5f) {
            if (S.Observer) resume_past_fault([&] { S.Observer->window_closed(S, S.FpsTime); });
            S.FpsTime = 0;
        }
        S.FrameTime = S.FrameTime * S.Round.TimeScale;
        const TrafficFrame frame{S.RoadCount, S.FrameTime, S.Program.LastFrameTime};
        resume_past_fault([&] {
            if (S.Model) S.Model->step(frame, S.Street.Vehicles);
        });
        S.Program.LastFrameTime = S.FrameTime;
        if (S.Observer) resume_past_fault([&] { S.Observer->overlay_drawn(S); });
        S.FramesSinceStep += 1;
        ++frames;
        if (hooks.AfterFrame) hooks.AfterFrame(S);
    }
    if (S.Observer) resume_past_fault([&] { S.Observer->scene_left(S, frames); });
}

} // namespace kl::scene
