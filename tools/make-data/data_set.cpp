// Assembles the data directory: settings, textures by file type, meshes as .x text.
#include "data_set.h"

#include "bmp_writer.h"
#include "default_settings.h"
#include "jpeg_writer.h"
#include "models.h"
#include "painters.h"
#include "texture_table.h"
#include "x_writer.h"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace kl::data {

namespace {

constexpr int kJpegQuality = 88;

Image paint_texture(const std::string& name) {
    if (name == kSkyTexture) return paint_sky();
    if (name == kGroundTexture) return paint_ground();
    if (name == kRoadTexture) return paint_road();
    if (name == kWhiteTexture) return paint_white();
    int group = 0, index = 0;
    if (std::sscanf(name.c_str(), "3c-%d-%d.jpg", &group, &index) != 2)
        throw std::logic_error("no painter for " + name);
    return paint_facade(group, index);
}

bool is_bmp(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0;
}

} // namespace

std::vector<std::string> data_file_names() {
    std::vector<std::string> names{kSettingsFile};
    for (const std::string& n : scene_texture_names())
        names.push_back(n);
    for (const std::string& n : mesh_file_names())
        names.push_back(n);
    return names;
}

std::vector<DataFile> build_data_set() {
    std::vector<DataFile> files;
    const auto settings = default_settings_bytes();
    files.push_back({kSettingsFile, {settings.begin(), settings.end()}});
    for (const std::string& name : scene_texture_names()) {
        const Image img = paint_texture(name);
        files.push_back({name, is_bmp(name) ? encode_bmp(img) : encode_jpeg(img, kJpegQuality)});
    }
    for (const NamedMesh& m : build_meshes()) {
        const std::string text = write_x_text(m.mesh);
        files.push_back({m.file, {text.begin(), text.end()}});
    }
    return files;
}

std::string write_data_set(const std::filesystem::path& root, const std::vector<DataFile>& files) {
    return write_files(root / kDataFolder, files);
}

std::string write_files(const std::filesystem::path& folder, const std::vector<DataFile>& files) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return "cannot create " + folder.string() + ": " + ec.message();
    for (const DataFile& f : files) {
        const std::filesystem::path path = folder / f.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(f.bytes.data()),
                  static_cast<std::streamsize>(f.bytes.size()));
        out.close();
        if (!out) return "cannot write " + path.string();
    }
    return "";
}

} // namespace kl::data
