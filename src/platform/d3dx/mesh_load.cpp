// Meshes from .x files. A file is read and parsed once per device: later loads of the same unchanged
// file (same resolved path, size and modification time) get meshes sharing the first one's buffers,
// which matters when the scene places hundreds of copies of one model.
#include "platform/d3dx/mesh.h"
#include "platform/d3dx/mesh_geometry.h"
#include "platform/d3dx/xfile/xfile_reader.h"
#include "platform/os/data_file_report.h"
#include "platform/os/files.h"
#include "platform/os/optimisations.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <tuple>

namespace kl::d3dx {

namespace {

namespace fs = std::filesystem;

struct FileKey {
    std::string path;
    std::uintmax_t size = 0;
    std::int64_t mtime = 0;
    const gfx::Device* device = nullptr;
    Dword options = 0;
    auto operator<=>(const FileKey&) const = default;
};

struct LoadedFile {
    std::weak_ptr<gfx::Device> device;
    std::shared_ptr<Geometry> geometry;
    std::vector<ExtendedMaterial> materials;
};

struct FileCache {
    std::map<FileKey, LoadedFile> files;
    std::size_t parses = 0;
};

FileCache& cache() {
    static FileCache c;
    return c;
}

gfx::Material material_of(const platform::XMaterial& m) {
    gfx::Material out;
    out.Diffuse = {m.diffuse.r, m.diffuse.g, m.diffuse.b, m.diffuse.a};
    // The file format has no ambient colour.
    out.Ambient = {0, 0, 0, 0};
    out.Specular = {m.specular.r, m.specular.g, m.specular.b, 1};
    out.Emissive = {m.emissive.r, m.emissive.g, m.emissive.b, 1};
    out.Power = m.power;
    return out;
}

// The vertex bytes in the layout of the mesh's vertex format: position, normal, texture pair.
std::vector<std::uint8_t> interleave(const platform::MeshData& data, Dword fvf) {
    const gfx::VertexLayout l = gfx::LayoutOf(fvf);
    const auto stride = static_cast<std::size_t>(l.stride);
    std::vector<std::uint8_t> bytes(data.positions.size() * stride);
    for (std::size_t v = 0; v < data.positions.size(); ++v) {
        std::uint8_t* at = bytes.data() + v * stride;
        std::memcpy(at, &data.positions[v], 12);
        if (l.normal >= 0 && v < data.normals.size()) std::memcpy(at + l.normal, &data.normals[v], 12);
        if (l.texcoord >= 0 && v < data.texcoords.size()) std::memcpy(at + l.texcoord, &data.texcoords[v], 8);
    }
    return bytes;
}

// A file that holds no usable mesh is reported (once) with its reason.
Status parse(const fs::path& path, gfx::Device& device, Dword options, LoadedFile* out) {
    platform::XFileResult read = platform::ReadXFileFromPath(path);
    if (!read.mesh) {
        // The parser's reasons start with where it stopped: "at byte N: ...".
        const bool damaged = read.error.starts_with("at byte");
        platform::ReportUnloadableFile(path.string(), damaged ? "damaged mesh " + read.error : read.error);
        return Status::InvalidCall;
    }
    const platform::MeshData& data = *read.mesh;
    // A file without any geometry or material holds no mesh at all.
    if (data.positions.empty() && data.materials.empty()) {
        platform::ReportUnloadableFile(path.string(), "no mesh in the file");
        return Status::InvalidCall;
    }
    const Dword fvf = data.fvf;
    std::vector<std::uint32_t> indices;
    indices.reserve(data.faces.size() * 3);
    for (const auto& f : data.faces)
        indices.insert(indices.end(), f.begin(), f.end());
    if (const Status s = make_geometry(device, fvf, vertex_pool_of(options), index_pool_of(options),
                                       interleave(data, fvf), indices, data.subsets, &out->geometry);
        s != Status::Ok)
        return s;
    for (const platform::XMaterial& m : data.materials)
        out->materials.push_back({material_of(m), m.texture});
    return Status::Ok;
}

} // namespace

Status LoadMeshFromX(const std::string& file, Dword options, const gfx::DevicePtr& device,
                     std::vector<Dword>* adjacency, MaterialBuffer* materials, Dword* material_count,
                     MeshPtr* mesh) {
    if (mesh == nullptr) return Status::InvalidCall;
    mesh->reset();
    if (!device || (options & Mesh32Bit)) return Status::InvalidCall;

    const bool absolute = !file.empty() && (file[0] == '/' || file[0] == '\\');
    const fs::path path = platform::ResolvePath(absolute ? "/" : ".", file);
    std::error_code ec;
    FileKey key;
    key.size = fs::file_size(path, ec);
    if (ec) {
        platform::ReportUnloadableFile(path.string(), platform::FileExists(path) ? "cannot read the file"
                                                                                 : "file not found");
        return Status::NotFound;
    }
    key.mtime = static_cast<std::int64_t>(fs::last_write_time(path, ec).time_since_epoch().count());
    if (ec) return Status::NotFound;
    key.path = fs::absolute(path, ec).lexically_normal().string();
    if (ec) return Status::NotFound;
    key.device = device.get();
    key.options = options;

    FileCache& c = cache();
    // Entries of devices that are gone would only hold memory (and could meet a new device at the
    // same address).
    std::erase_if(c.files, [](const auto& entry) { return entry.second.device.expired(); });
    // Without the shortcuts every load parses the file into data of its own.
    LoadedFile own;
    const LoadedFile* loaded = &own;
    auto it = platform::OptimisationsOff() ? c.files.end() : c.files.find(key);
    if (it == c.files.end()) {
        own.device = device;
        if (const Status s = parse(path, *device, options, &own); s != Status::Ok) return s;
        ++c.parses;
        if (!platform::OptimisationsOff()) it = c.files.emplace(key, std::move(own)).first;
    }
    if (it != c.files.end()) loaded = &it->second;

    auto made = std::make_shared<Mesh>(loaded->geometry, device, options);
    if (adjacency != nullptr) {
        adjacency->assign(std::size_t{made->GetNumFaces()} * 3, kNoNeighbour);
        if (!adjacency->empty()) {
            if (const Status s = made->GenerateAdjacency(0.0f, adjacency->data()); s != Status::Ok) return s;
        }
    }
    if (materials != nullptr) materials->materials = loaded->materials;
    if (material_count != nullptr) *material_count = static_cast<Dword>(loaded->materials.size());
    *mesh = std::move(made);
    return Status::Ok;
}

std::size_t MeshFileParses() {
    return cache().parses;
}

void ClearMeshFileCache() {
    cache().files.clear();
}

} // namespace kl::d3dx
