// Any bytes as a .x file: the reader never crashes or reads outside its input, and whatever it
// accepts is a consistent mesh (indices in range, one subset per face, attributes per vertex).
#include "platform/d3dx/xfile/xfile_reader.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kl::platform;
    const XFileResult r = ReadXFile(std::span<const std::uint8_t>(data, size));
    if (!r.mesh) {
        if (r.error.empty()) std::abort();
        return 0;
    }
    const MeshData& m = *r.mesh;
    const std::size_t vertices = m.positions.size();
    if (vertices > kMaxMeshVertices) std::abort();
    if (m.subsets.size() != m.faces.size()) std::abort();
    for (const auto& f : m.faces) {
        for (const std::uint32_t i : f) {
            if (i >= vertices) std::abort();
        }
    }
    for (const std::uint32_t s : m.subsets) {
        if (!m.materials.empty() ? s >= m.materials.size() : s != 0) std::abort();
    }
    if (((m.fvf & kFvfNormal) != 0 ? vertices : 0) != m.normals.size()) std::abort();
    if (((m.fvf & kFvfTex1) != 0 ? vertices : 0) != m.texcoords.size()) std::abort();
    return 0;
}
