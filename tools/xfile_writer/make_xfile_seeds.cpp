// Writes the seed corpus of the .x reader's fuzz target: the sample scene and a small grid in every
// encoding. Usage: make_xfile_seeds FOLDER
#include "command_line.h"
#include "xfile_writer/sample_scenes.h"
#include "xfile_writer/xfile_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

void save(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const auto folder = kl::tools::OneFolderArgument("make_xfile_seeds",
                                                     "Usage: make_xfile_seeds [--] FOLDER\nWrites the seed "
                                                     ".x files of the mesh fuzz target into FOLDER.\n",
                                                     argc, argv, &status);
    if (!folder) return status;
    const std::filesystem::path dir = *folder;
    std::filesystem::create_directories(dir);
    using kl::tools::XWriter;
    const auto write_all = [&](const std::string& stem, const std::function<void(XWriter&)>& scene,
                               std::size_t block_bytes) {
        for (const bool binary : {false, true}) {
            for (const bool doubles : {false, true}) {
                if (doubles && !binary) continue; // the float size changes nothing in text
                XWriter w(binary, doubles);
                scene(w);
                const auto body = w.Body();
                const std::string kind = binary ? (doubles ? "bin64" : "bin") : "txt";
                save(dir / (stem + "_" + kind + ".x"), kl::tools::MakeXFile(w, body));
                if (!doubles) {
                    save(dir / (stem + "_" + (binary ? "bzip" : "tzip") + ".x"),
                         kl::tools::MakeCompressedXFile(w, body, block_bytes));
                }
            }
        }
    };
    write_all("scene", kl::tools::WriteSampleScene, 32768);
    // Small blocks, so that the seeds exercise the dictionary carried from block to block.
    write_all(
        "grid", [](XWriter& w) { kl::tools::WriteGridMesh(w, 3, 2); }, 256);
    return 0;
}
