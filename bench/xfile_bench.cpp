// First-parse cost of a mid-size .x mesh (a 60 x 60 grid: 3,600 quads, 7,200 triangles) in text,
// binary and compressed text, before any sharing of parsed files.
#include "platform/d3dx/xfile/xfile_reader.h"
#include "xfile_writer/sample_scenes.h"
#include "xfile_writer/xfile_writer.h"

#include <benchmark/benchmark.h>

namespace {

enum Kind { kText, kBinary, kTzip };

std::vector<std::uint8_t> grid_file(Kind kind) {
    kl::tools::XWriter w(kind == kBinary, false);
    kl::tools::WriteGridMesh(w, 60, 60);
    const auto body = w.Body();
    return kind == kTzip ? kl::tools::MakeCompressedXFile(w, body) : kl::tools::MakeXFile(w, body);
}

void BM_ReadXFile(benchmark::State& state) {
    const auto bytes = grid_file(static_cast<Kind>(state.range(0)));
    std::size_t faces = 0;
    for (auto _ : state) {
        const auto r = kl::platform::ReadXFile(bytes);
        if (!r.mesh) {
            state.SkipWithError(r.error.c_str());
            return;
        }
        faces = r.mesh->faces.size();
        benchmark::DoNotOptimize(faces);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["faces"] = static_cast<double>(faces);
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ReadXFile)
    ->Arg(kText)
    ->Arg(kBinary)
    ->Arg(kTzip)
    ->ArgName("text0_bin1_tzip2")
    ->Unit(benchmark::kMicrosecond);

} // namespace
