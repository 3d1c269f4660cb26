// What the loop detectors add to a frame: one step of 250 roads of the ring street (15,000 vehicles,
// each moving and a loop every 250 m), beside the model's own step in TrafficModelIdmRing.
#include "traffic/idm_model.h"
#include "traffic/loop_detectors.h"
#include "traffic/random_source.h"

#include <benchmark/benchmark.h>

namespace {

void BM_LoopDetectorsStep(benchmark::State& state) {
    const auto roads = static_cast<std::int32_t>(state.range(0));
    kl::IdmTraffic model;
    model.parameters() = kl::scenario_default_parameters(kl::TrafficScenario::Ring);
    const kl::ScenarioSettings ring{.Scenario = kl::TrafficScenario::Ring};
    model.set_scenario(ring);
    kl::RandomSource random(20240601);
    kl::VehicleList vehicles;
    model.set_up(roads, random, vehicles);
    const kl::TrafficFrame frame{roads, 1.0f / 60.0f, 1.0f / 60.0f};
    for (int i = 0; i < 3600; ++i)
        model.step(frame, vehicles);
    kl::LoopDetectors loops;
    loops.set_up(ring, roads, {}, vehicles, 0.0);
    // The model steps outside the timing: only the detectors' part of the frame is measured.
    for (auto _ : state) {
        state.PauseTiming();
        model.step(frame, vehicles);
        state.ResumeTiming();
        loops.step(vehicles, 1.0 / 60.0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(vehicles.size()));
}

} // namespace

BENCHMARK(BM_LoopDetectorsStep)->Name("LoopDetectorsRing")->Arg(250);
