// Loading the largest generated mesh: the first read and parse of the file against later loads of
// the same file, which share what the first one made. Both with and without the preparation the
// mesh object runs after loading (adjacency, optimisation, normals).
#include "platform/d3dx/mesh.h"
#include "platform/gfx/recording/recording_system.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <stdexcept>

namespace {

using namespace kl;

std::string largest_mesh() {
    std::string best;
    std::uintmax_t best_size = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KL_DATA_DIR)) {
        if (entry.path().extension() != ".x") continue;
        if (entry.file_size() > best_size) {
            best_size = entry.file_size();
            best = entry.path().string();
        }
    }
    if (best.empty()) throw std::runtime_error("no .x file in " KL_DATA_DIR);
    return best;
}

struct Bench {
    Bench() {
        gfx::PresentParameters p;
        p.Windowed = true;
        sys.CreateDevice(0, gfx::DevTypeHal, nullptr, 0, &p, &device);
    }
    // A load as the mesh object does it; prepare adds its adjacency, optimisation and normals.
    void load(bool prepare) {
        d3dx::MeshPtr mesh;
        d3dx::MaterialBuffer materials;
        d3dx::Dword count = 0;
        std::vector<d3dx::Dword> adjacency;
        if (d3dx::LoadMeshFromX(file, d3dx::MeshManaged, device, &adjacency, &materials, &count, &mesh) !=
            gfx::Status::Ok)
            throw std::runtime_error("cannot load " + file);
        if (prepare) {
            mesh->GenerateAdjacency(0.0f, adjacency.data());
            mesh->OptimizeInplace(d3dx::MeshOptCompact | d3dx::MeshOptAttrSort | d3dx::MeshOptVertexCache,
                                  adjacency.data(), nullptr, nullptr, nullptr);
            d3dx::ComputeNormals(*mesh);
        }
        benchmark::DoNotOptimize(mesh);
        sys.Log().Clear();
    }
    gfx::RecordingSystem sys;
    gfx::DevicePtr device;
    std::string file = largest_mesh();
};

void first_parse(benchmark::State& state, bool prepare) {
    Bench b;
    state.SetLabel(std::filesystem::path(b.file).filename().string());
    for (auto _ : state) {
        d3dx::ClearMeshFileCache();
        b.load(prepare);
    }
    d3dx::ClearMeshFileCache();
}

void shared_load(benchmark::State& state, bool prepare) {
    Bench b;
    state.SetLabel(std::filesystem::path(b.file).filename().string());
    d3dx::ClearMeshFileCache();
    b.load(prepare);
    for (auto _ : state)
        b.load(prepare);
    d3dx::ClearMeshFileCache();
}

BENCHMARK_CAPTURE(first_parse, load, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(shared_load, load, false)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(first_parse, load_and_prepare, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(shared_load, load_and_prepare, true)->Iterations(1000)->Unit(benchmark::kMicrosecond);

} // namespace
