// Matrix product and look-at: the two math operations every frame leans on.
#include "engine/math.h"

#include <benchmark/benchmark.h>

namespace {

void BM_MatrixMultiply(benchmark::State& state) {
    kl::Matrix4 a = kl::MatrixRotationY(0.3f) * kl::MatrixTranslation(1, 2, 3);
    const kl::Matrix4 b = kl::MatrixRotationX(0.1f);
    for (auto _ : state) {
        a = kl::MatrixMultiply(a, b);
        benchmark::DoNotOptimize(a);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixMultiply);

void BM_LookAt(benchmark::State& state) {
    kl::Vec3 eye{58, 10, 780};
    for (auto _ : state) {
        eye.z += 0.01f;
        benchmark::DoNotOptimize(kl::MatrixLookAtLH(eye, {58, 0, 830}, {0, 1, 0}));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookAt);

} // namespace
