// The mesh operations on plain data: face adjacency, vertex normals from the faces, and the in-place
// optimisation (subset sort, vertex-cache order through meshoptimizer, compaction).
#include "platform/d3dx/mesh_geometry.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <meshoptimizer.h>
#include <numeric>
#include <unordered_map>

namespace kl::d3dx {

namespace {

struct P3 {
    float x, y, z;
};

P3 position_at(const std::vector<std::uint8_t>& bytes, Dword stride, std::uint32_t v) {
    P3 p;
    std::memcpy(&p, bytes.data() + std::size_t{v} * stride, sizeof p);
    return p;
}

// -0 and +0 are the same coordinate.
std::uint32_t coordinate_bits(float f) {
    return f == 0.0f ? 0u : std::bit_cast<std::uint32_t>(f);
}

// One number per vertex; vertices whose positions coincide (within epsilon) share it.
std::vector<std::uint32_t> point_ids(const std::vector<std::uint8_t>& bytes, Dword stride, std::size_t count,
                                     float epsilon) {
    std::vector<std::uint32_t> id(count);
    std::iota(id.begin(), id.end(), 0u);
    if (!(epsilon > 0.0f)) {
        struct Key {
            std::uint32_t x, y, z;
            bool operator==(const Key&) const = default;
        };
        struct Hash {
            std::size_t operator()(const Key& k) const {
                return (std::size_t{k.x} * 73856093u) ^ (std::size_t{k.y} * 19349663u) ^
                       (std::size_t{k.z} * 83492791u);
            }
        };
        std::unordered_map<Key, std::uint32_t, Hash> first;
        first.reserve(count);
        for (std::uint32_t v = 0; v < count; ++v) {
            const P3 p = position_at(bytes, stride, v);
            // NaN equals nothing, not even itself.
            if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) continue;
            const Key k{coordinate_bits(p.x), coordinate_bits(p.y), coordinate_bits(p.z)};
            id[v] = first.try_emplace(k, v).first->second;
        }
        return id;
    }
    // Within epsilon: sweep along x, joining every pair close in all three components.
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::vector<P3> pos(count);
    for (std::uint32_t v = 0; v < count; ++v)
        pos[v] = position_at(bytes, stride, v);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return pos[a].x < pos[b].x; });
    auto find = [&](std::uint32_t v) {
        while (id[v] != v)
            v = id[v] = id[id[v]];
        return v;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const P3& a = pos[order[i]];
        for (std::size_t j = i + 1; j < count && pos[order[j]].x - a.x <= epsilon; ++j) {
            const P3& b = pos[order[j]];
            if (std::fabs(a.y - b.y) <= epsilon && std::fabs(a.z - b.z) <= epsilon) {
                const std::uint32_t ra = find(order[i]), rb = find(order[j]);
                if (ra != rb) id[std::max(ra, rb)] = std::min(ra, rb);
            }
        }
    }
    for (std::uint32_t v = 0; v < count; ++v)
        id[v] = find(v);
    return id;
}

} // namespace

// Each edge is paired with the first later unpaired edge of another face joining the same two
// points, so the adjacency is symmetric even where more than two faces meet at an edge.
std::vector<Dword> adjacency_of(const std::vector<std::uint8_t>& vertex_bytes, Dword stride,
                                const std::vector<std::uint32_t>& indices, float epsilon) {
    const std::size_t faces = indices.size() / 3;
    std::vector<Dword> adjacency(faces * 3, kNoNeighbour);
    if (stride == 0) return adjacency;
    const std::vector<std::uint32_t> id =
        point_ids(vertex_bytes, stride, vertex_bytes.size() / stride, epsilon);
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> edges; // point pair -> face * 3 + edge
    edges.reserve(faces * 3);
    for (std::size_t f = 0; f < faces; ++f)
        for (std::size_t e = 0; e < 3; ++e) {
            const std::uint32_t a = id[indices[f * 3 + e]], b = id[indices[f * 3 + (e + 1) % 3]];
            if (a == b) continue; // a collapsed edge joins nothing
            const std::uint64_t key = (std::uint64_t{std::min(a, b)} << 32) | std::max(a, b);
            edges[key].push_back(static_cast<std::uint32_t>(f * 3 + e));
        }
    for (auto& [key, list] : edges) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (adjacency[list[i]] != kNoNeighbour) continue;
            for (std::size_t j = i + 1; j < list.size(); ++j) {
                const std::uint32_t fi = list[i] / 3, fj = list[j] / 3;
                if (fi == fj || adjacency[list[j]] != kNoNeighbour) continue;
                adjacency[list[i]] = fj;
                adjacency[list[j]] = fi;
                break;
            }
        }
    }
    return adjacency;
}

void compute_normals(std::vector<std::uint8_t>& vertex_bytes, Dword stride, int normal_offset,
                     const std::vector<std::uint32_t>& indices) {
    const std::size_t count = vertex_bytes.size() / stride;
    std::vector<P3> sum(count, P3{0, 0, 0});
    for (std::size_t f = 0; f + 2 < indices.size(); f += 3) {
        const std::uint32_t i0 = indices[f], i1 = indices[f + 1], i2 = indices[f + 2];
        if (i0 >= count || i1 >= count || i2 >= count) continue;
        const P3 a = position_at(vertex_bytes, stride, i0), b = position_at(vertex_bytes, stride, i1),
                 c = position_at(vertex_bytes, stride, i2);
        const P3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
        const P3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        for (const std::uint32_t i : {i0, i1, i2}) {
            sum[i].x += n.x;
            sum[i].y += n.y;
            sum[i].z += n.z;
        }
    }
    for (std::size_t v = 0; v < count; ++v) {
        P3 n = sum[v];
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length > 0.0f && std::isfinite(length)) {
            n = {n.x / length, n.y / length, n.z / length};
        } else {
            n = {0, 0, 0};
        }
        std::memcpy(vertex_bytes.data() + v * stride + static_cast<std::size_t>(normal_offset), &n, sizeof n);
    }
}

OptimizeResult optimize(Dword flags, const std::vector<std::uint8_t>& vertex_bytes, Dword stride,
                        const std::vector<std::uint32_t>& indices, const std::vector<Dword>& attributes) {
    const std::size_t faces = attributes.size();
    const std::size_t vertices = stride == 0 ? 0 : vertex_bytes.size() / stride;
    OptimizeResult r;

    std::vector<Dword> order(faces);
    std::iota(order.begin(), order.end(), 0u);
    if (flags & MeshOptAttrSort)
        std::stable_sort(order.begin(), order.end(),
                         [&](Dword a, Dword b) { return attributes[a] < attributes[b]; });

    if ((flags & MeshOptVertexCache) && vertices > 0) {
        // Each run of one subset is reordered on its own, so subsets stay together.
        std::vector<unsigned> run, reordered;
        for (std::size_t start = 0; start < faces;) {
            std::size_t end = start;
            while (end < faces && attributes[order[end]] == attributes[order[start]])
                ++end;
            run.clear();
            for (std::size_t i = start; i < end; ++i)
                for (int k = 0; k < 3; ++k)
                    run.push_back(indices[std::size_t{order[i]} * 3 + static_cast<std::size_t>(k)]);
            // The optimiser must not see an index past the vertices; such a run keeps its order.
            if (std::any_of(run.begin(), run.end(), [&](unsigned v) { return v >= vertices; })) {
                start = end;
                continue;
            }
            reordered.resize(run.size());
            meshopt_optimizeVertexCache(reordered.data(), run.data(), run.size(), vertices);
            // The optimiser keeps each triangle's corners in order; find which face each one was.
            std::unordered_map<std::uint64_t, std::vector<Dword>> faces_of;
            for (std::size_t i = start; i < end; ++i) {
                const std::size_t f = order[i];
                const std::uint64_t key = (std::uint64_t{indices[f * 3]} << 42) |
                                          (std::uint64_t{indices[f * 3 + 1]} << 21) | indices[f * 3 + 2];
                faces_of[key].push_back(static_cast<Dword>(f));
            }
            for (auto& [key, list] : faces_of)
                std::reverse(list.begin(), list.end()); // pop_back then yields them in order
            std::vector<Dword> run_order;
            run_order.reserve(end - start);
            for (std::size_t t = 0; t * 3 < reordered.size(); ++t) {
                const std::uint64_t key = (std::uint64_t{reordered[t * 3]} << 42) |
                                          (std::uint64_t{reordered[t * 3 + 1]} << 21) | reordered[t * 3 + 2];
                auto& list = faces_of[key];
                if (list.empty()) break; // cannot happen; the run keeps its old order then
                run_order.push_back(list.back());
                list.pop_back();
            }
            if (run_order.size() == end - start)
                std::copy(run_order.begin(), run_order.end(),
                          order.begin() + static_cast<std::ptrdiff_t>(start));
            start = end;
        }
    }

    // New vertex numbers: first use in the new face order, or the old order.
    constexpr Dword kUnset = 0xFFFFFFFFu;
    std::vector<Dword> new_of(vertices, kUnset);
    if (flags & MeshOptVertexCache) {
        for (const Dword f : order)
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t v = indices[std::size_t{f} * 3 + static_cast<std::size_t>(k)];
                if (v < vertices && new_of[v] == kUnset) {
                    new_of[v] = static_cast<Dword>(r.vertex_remap.size());
                    r.vertex_remap.push_back(v);
                }
            }
    } else if (flags & MeshOptCompact) {
        std::vector<bool> used(vertices, false);
        for (const std::uint32_t v : indices)
            if (v < vertices) used[v] = true;
        for (std::uint32_t v = 0; v < vertices; ++v)
            if (used[v]) {
                new_of[v] = static_cast<Dword>(r.vertex_remap.size());
                r.vertex_remap.push_back(v);
            }
    }
    if (!(flags & MeshOptCompact)) {
        for (std::uint32_t v = 0; v < vertices; ++v)
            if (new_of[v] == kUnset) {
                new_of[v] = static_cast<Dword>(r.vertex_remap.size());
                r.vertex_remap.push_back(v);
            }
    }

    r.vertex_bytes.resize(r.vertex_remap.size() * stride);
    for (std::size_t n = 0; n < r.vertex_remap.size(); ++n)
        std::memcpy(r.vertex_bytes.data() + n * stride,
                    vertex_bytes.data() + std::size_t{r.vertex_remap[n]} * stride, stride);
    r.face_remap = order;
    r.indices.resize(faces * 3);
    r.attributes.resize(faces);
    for (std::size_t n = 0; n < faces; ++n) {
        for (std::size_t k = 0; k < 3; ++k) {
            const std::uint32_t v = indices[std::size_t{order[n]} * 3 + k];
            // An index past the vertices stays as it was; drawing refuses it.
            r.indices[n * 3 + k] = v < vertices ? new_of[v] : v;
        }
        r.attributes[n] = attributes[order[n]];
    }
    return r;
}

} // namespace kl::d3dx
