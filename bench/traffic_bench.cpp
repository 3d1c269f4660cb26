// One traffic step at 1, 10, 100 and 250 roads, as vehicle updates per second: the plain checked scan
// against the fast step, and both models behind the front the frame loop calls, the car-following one
// also on the ring street and through the roadworks with a queue standing before them.
#include "traffic/idm_model.h"
#include "traffic/model.h"
#include "traffic/ring.h"
#include "traffic/traffic.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

// The step alone, on the tables.
template <void (*Step)(kl::TrafficTables&, const kl::TrafficFrame&)>
void BM_TrafficStep(benchmark::State& state) {
    const auto roads = static_cast<std::int32_t>(state.range(0));
    auto tables = std::make_unique<kl::TrafficTables>();
    kl::RandomSource random(20240601);
    kl::set_up_traffic(*tables, roads, random);
    const kl::TrafficFrame frame{roads, 1.0f / 60.0f, 1.0f / 60.0f};
    // Let the traffic bunch up behind the slow vehicles first, so that lane changes and speed
    // takeovers happen as they do in a running scene.
    for (int i = 0; i < 600; ++i)
        Step(*tables, frame);
    for (auto _ : state) {
        Step(*tables, frame);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * roads * 60);
}

BENCHMARK(BM_TrafficStep<kl::step_traffic_plain>)
    ->Name("TrafficStepPlain")
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(250);
BENCHMARK(BM_TrafficStep<kl::step_traffic>)->Name("TrafficStepFast")->Arg(1)->Arg(10)->Arg(100)->Arg(250);

// A model's frame as the scene calls it: the step and its vehicles handed out. Ring: the car-following
// model on the ring street at its defaults, after a minute in which its stop-and-go wave has begun.
template <bool Idm, bool Ring = false> void BM_TrafficModel(benchmark::State& state) {
    const auto roads = static_cast<std::int32_t>(state.range(0));
    kl::VehicleList vehicles;
    kl::RandomSource random(20240601);
    std::unique_ptr<kl::TrafficModel> model;
    if constexpr (Idm) {
        auto idm = std::make_unique<kl::IdmTraffic>();
        if constexpr (Ring) {
            idm->parameters() = kl::scenario_default_parameters(kl::TrafficScenario::Ring);
            idm->set_scenario({.Scenario = kl::TrafficScenario::Ring});
        }
        model = std::move(idm);
    } else {
        model = kl::make_classic_traffic(false);
    }
    model->set_up(roads, random, vehicles);
    const kl::TrafficFrame frame{roads, 1.0f / 60.0f, 1.0f / 60.0f};
    for (int i = 0; i < (Ring ? 3600 : 600); ++i)
        model->step(frame, vehicles);
    for (auto _ : state) {
        model->step(frame, vehicles);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * roads * 60);
}

BENCHMARK(BM_TrafficModel<false>)->Name("TrafficModelClassic")->Arg(250);
BENCHMARK(BM_TrafficModel<true>)->Name("TrafficModelIdm")->Arg(1)->Arg(250);
BENCHMARK(BM_TrafficModel<true, true>)->Name("TrafficModelIdmRing")->Arg(250);

} // namespace

namespace {

// The roadworks at their default inflow on 250 roads, after 15 minutes of simulated time (in coarse
// steps, outside the timed loop) in which a queue has come to stand before the closure. Warmed once
// and shared by every run the library makes, since the warm-up takes longer than the measurement.
void BM_TrafficModelIdmRoadworks(benchmark::State& state) {
    constexpr std::int32_t roads = 250;
    static kl::VehicleList vehicles;
    static const std::unique_ptr<kl::IdmTraffic> model = [] {
        auto idm = std::make_unique<kl::IdmTraffic>();
        idm->parameters() = kl::scenario_default_parameters(kl::TrafficScenario::Roadworks);
        idm->set_scenario(kl::default_settings(kl::TrafficScenario::Roadworks));
        kl::RandomSource random(20240601);
        idm->set_up(roads, random, vehicles);
        for (int i = 0; i < 15 * 60 * 4; ++i)
            idm->step(kl::TrafficFrame{roads, 0.25f, 0.25f}, vehicles);
        return idm;
    }();
    const kl::TrafficFrame frame{roads, 1.0f / 60.0f, 1.0f / 60.0f};
    std::int64_t updated = 0;
    for (auto _ : state) {
        model->step(frame, vehicles);
        updated += static_cast<std::int64_t>(vehicles.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(updated);
    state.counters["vehicles"] = static_cast<double>(vehicles.size());
}

BENCHMARK(BM_TrafficModelIdmRoadworks)->Name("TrafficModelIdmRoadworks/250");

} // namespace
