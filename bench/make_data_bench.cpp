// Time to build the whole data directory in memory (textures painted and encoded, meshes written).
#include "data_set.h"
#include "models.h"
#include "painters.h"

#include <benchmark/benchmark.h>

namespace {

void BM_BuildDataSet(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(kl::data::build_data_set());
}
BENCHMARK(BM_BuildDataSet)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PaintSky(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(kl::data::paint_sky());
}
BENCHMARK(BM_PaintSky)->Unit(benchmark::kMillisecond);

void BM_PaintFacade(benchmark::State& state) {
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(kl::data::paint_facade(1 + i % 7, 1 + i % 3)), ++i;
}
BENCHMARK(BM_PaintFacade)->Unit(benchmark::kMillisecond);

void BM_BuildMeshes(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(kl::data::build_meshes());
}
BENCHMARK(BM_BuildMeshes)->Unit(benchmark::kMillisecond);

} // namespace
