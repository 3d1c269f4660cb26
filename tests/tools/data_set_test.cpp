#include "data_set.h"
#include "engine/settings_record.h"
#include "icon.h"
#include "support/temp_dir.h"
#include "texture_table.h"
#include "x_text_scan.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stb/stb_image.h>
#include <sys/wait.h>

namespace kl::data {
namespace {

// The directory the build generated: the files as the program will find them.
const std::filesystem::path kBuiltData = std::filesystem::path(KL_DATA_ROOT) / kDataFolder;

const std::vector<DataFile>& data_set() {
    static const std::vector<DataFile> files = [] {
        std::vector<DataFile> out;
        for (const std::string& name : data_file_names())
            out.push_back({name, test::ReadBytes(kBuiltData / name)});
        return out;
    }();
    return files;
}

std::map<std::string, const DataFile*> by_name() {
    std::map<std::string, const DataFile*> m;
    for (const DataFile& f : data_set())
        m[f.name] = &f;
    return m;
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
bool power_of_two(int v) {
    return v > 0 && (v & (v - 1)) == 0;
}

struct Decoded {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
};
Decoded decode(const std::vector<std::uint8_t>& bytes) {
    Decoded d;
    int comp = 0;
    unsigned char* p =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &d.w, &d.h, &comp, 3);
    if (p) d.rgb.assign(p, p + static_cast<std::size_t>(d.w) * d.h * 3);
    stbi_image_free(p);
    return d;
}

const std::vector<std::string> kMeshFiles = {
    "SKY1.x",   "s-all.x",   "MODEL1.x",   "_ROUTE.x", "206.x",     "CLASS_A.x",   "CLIO_II.x",
    "DUCATO.x", "TRANSIT.x", "CHRYSLER.x", "cone.x",   "barrier.x", "lane-ends.x", "ramp.x"};

TEST(DataSet, HoldsExactlyTheSettingsTheTexturesOfTheTableAndTheMeshes) {
    std::set<std::string> expected{"default.dat"};
    for (const std::string& n : scene_texture_names())
        expected.insert(n);
    for (const std::string& n : kMeshFiles)
        expected.insert(n);
    std::set<std::string> names;
    for (const DataFile& f : data_set()) {
        EXPECT_TRUE(names.insert(f.name).second) << "twice: " << f.name;
        // Present under its exact name, letter case included.
        EXPECT_TRUE(std::filesystem::is_regular_file(kBuiltData / f.name)) << f.name;
        EXPECT_FALSE(f.bytes.empty()) << f.name;
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(data_set().size(), 133u);
}

TEST(DataSet, DefaultSettingsDecodeToTheShippedValues) {
    const auto& bytes = by_name().at("default.dat")->bytes;
    ASSERT_EQ(bytes.size(), kSettingsFileSize);
    const SettingsRecord s = DecodeSettings(bytes);
    EXPECT_EQ(s.Width, 1024);
    EXPECT_EQ(s.Height, 768);
    EXPECT_EQ(s.Format, 22);
    EXPECT_EQ(s.RoundLimit, 1);
    EXPECT_EQ(s.ResH, 1024);
    EXPECT_EQ(s.ResV, 768);
    EXPECT_EQ(s.AspectRatio.str(), "1,333");
    EXPECT_EQ(s.CameraMode, 1);
    EXPECT_EQ(s.PlayerSpeed, 20.0f);
    EXPECT_EQ(s.WorldSize, 64000.0f);
    EXPECT_EQ(s.Spare24, -1);
    EXPECT_EQ(s.Spare58.str(), std::string(64, ' '));
    for (std::int32_t v : {s.AntiAlias, s.ClearMode, s.LastPlayer})
        EXPECT_EQ(v, 0);
    for (std::int16_t v : {s.Spare16, s.AnisotropicFilter, s.Spare28})
        EXPECT_EQ(v, 0);
    // Padding and spare byte fields are zero; offsets 18, 30, 48..51, 56, 57 and 122, 123.
    for (std::size_t off : {18u, 19u, 30u, 31u, 48u, 49u, 50u, 51u, 56u, 57u, 122u, 123u})
        EXPECT_EQ(bytes[off], 0) << off;
}

TEST(DataSet, BitmapsHaveConsistentHeadersAndTopRowsFirstWhenDecoded) {
    const auto files = by_name();
    for (const char* name : {kSkyTexture, kGroundTexture, kWhiteTexture}) {
        SCOPED_TRACE(name);
        const auto& b = files.at(name)->bytes;
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(le32(b, 2), b.size());
        EXPECT_EQ(le32(b, 10), 54u);
        EXPECT_EQ(le32(b, 14), 40u);
        const auto w = static_cast<int>(le32(b, 18)), h = static_cast<int>(le32(b, 22));
        EXPECT_TRUE(power_of_two(w) && power_of_two(h)) << w << "x" << h;
        EXPECT_EQ(le16(b, 26), 1);
        EXPECT_EQ(le16(b, 28), 24);
        EXPECT_EQ(le32(b, 30), 0u);
        EXPECT_EQ(le32(b, 34), b.size() - 54);
        EXPECT_EQ(b.size() - 54, static_cast<std::size_t>((w * 3 + 3) / 4 * 4) * h);
        const Decoded d = decode(b);
        EXPECT_EQ(d.w, w);
        EXPECT_EQ(d.h, h);
    }
    // Rows are stored bottom-up: decoded, the sky's zenith (top) must be a deeper blue than its horizon.
    const Decoded sky = decode(files.at(kSkyTexture)->bytes);
    ASSERT_FALSE(sky.rgb.empty());
    auto row_mean = [&](int y, int ch) {
        long sum = 0;
        for (int x = 0; x < sky.w; ++x)
            sum += sky.rgb[(static_cast<std::size_t>(y) * sky.w + x) * 3 + ch];
        return static_cast<double>(sum) / sky.w;
    };
    EXPECT_LT(row_mean(0, 0), row_mean(sky.h - 1, 0) - 40);
    EXPECT_GT(row_mean(0, 2) - row_mean(0, 0), 60);
}

TEST(DataSet, JpegsHaveTheirMarkersAndDecodeToPowerOfTwoSizes) {
    int jpegs = 0;
    for (const DataFile& f : data_set()) {
        if (f.name.size() < 4 || f.name.compare(f.name.size() - 4, 4, ".jpg") != 0) continue;
        SCOPED_TRACE(f.name);
        ++jpegs;
        ASSERT_GE(f.bytes.size(), 4u);
        EXPECT_EQ(f.bytes[0], 0xFF);
        EXPECT_EQ(f.bytes[1], 0xD8);
        EXPECT_EQ(f.bytes[f.bytes.size() - 2], 0xFF);
        EXPECT_EQ(f.bytes[f.bytes.size() - 1], 0xD9);
        const Decoded d = decode(f.bytes);
        EXPECT_TRUE(power_of_two(d.w) && power_of_two(d.h) && d.w <= 1024 && d.h <= 1024)
            << d.w << "x" << d.h;
    }
    EXPECT_EQ(jpegs, 115);
}

TEST(DataSet, NoTwoTexturesAreTheSamePicture) {
    std::map<std::vector<std::uint8_t>, std::string> seen;
    for (const std::string& name : scene_texture_names()) {
        const auto [it, fresh] = seen.emplace(by_name().at(name)->bytes, name);
        EXPECT_TRUE(fresh) << name << " repeats " << it->second;
    }
}

TEST(DataSet, MeshFilesAreWellFormedTextWithMatchingCounts) {
    const auto table = scene_texture_names();
    const std::set<std::string> known(table.begin(), table.end());
    for (const std::string& name : kMeshFiles) {
        SCOPED_TRACE(name);
        const auto& b = by_name().at(name)->bytes;
        const std::string text(b.begin(), b.end());
        int depth = 0;
        for (char c : text) {
            depth += c == '{' ? 1 : c == '}' ? -1 : 0;
            ASSERT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0);
        test::ScannedX x;
        ASSERT_NO_THROW(x = test::XScanner(text).scan());
        EXPECT_EQ(x.header, "xof 0303txt 0032");
        EXPECT_EQ(x.normals.size(), x.positions.size());
        EXPECT_EQ(x.uvs.size(), x.positions.size());
        EXPECT_EQ(x.normal_faces, x.faces);
        EXPECT_EQ(x.face_materials.size(), x.faces.size());
        ASSERT_FALSE(x.materials.empty());
        for (const auto& f : x.faces)
            for (std::uint32_t i : f)
                EXPECT_LT(i, x.positions.size());
        for (std::uint32_t m : x.face_materials)
            EXPECT_LT(m, x.materials.size());
        for (const auto& m : x.materials) {
            if (!m.texture.empty()) {
                EXPECT_TRUE(known.count(m.texture)) << m.texture;
            }
        }
    }
}

// The build ran the tool once; a second run into an empty folder writes the same files, no more.
TEST(DataSet, TwoRunsGiveTheSameBytes) {
    test::TempDir dir;
    const std::string cmd =
        std::string("\"") + KL_MAKE_DATA_EXE + "\" \"" + dir.path().string() + "\" >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / kDataFolder))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written.size(), data_set().size());
    for (const DataFile& f : data_set()) {
        EXPECT_TRUE(written.count(f.name)) << f.name;
        EXPECT_TRUE(test::ReadBytes(dir.path() / kDataFolder / f.name) == f.bytes) << f.name;
    }
}

// The tool's --help and its refusals are checked with the other tools' (command_line_test.sh).
TEST(DataSet, TheToolWritesTheIconsOnRequest) {
    test::TempDir dir;
    const std::string in_dir = "cd \"" + dir.path().string() + "\" && \"" + KL_MAKE_DATA_EXE + "\" ";
    auto status = [&](const std::string& args) {
        const int raw = std::system((in_dir + args + " >out 2>err").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    // A square PNG of each size.
    EXPECT_EQ(status("--icons icons"), 0);
    for (int size : kIconSizes) {
        const auto png =
            test::ReadBytes(dir.path() / "icons" / ("kelvane3d-" + std::to_string(size) + ".png"));
        int w = 0, h = 0, channels = 0;
        ASSERT_EQ(stbi_info_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels), 1)
            << size;
        EXPECT_EQ(w, size);
        EXPECT_EQ(h, size);
    }
}

TEST(DataSet, WritingReportsAFolderThatCannotBeMade) {
    test::TempDir dir;
    test::WriteBytes(dir.path() / "blocked", {1});
    const std::string error = write_data_set(dir.path() / "blocked", {{"default.dat", {1, 2, 3}}});
    EXPECT_NE(error, "");
    EXPECT_EQ(write_data_set(dir.path(), {{"default.dat", {1, 2, 3}}}), "");
    EXPECT_EQ(test::ReadBytes(dir.path() / kDataFolder / "default.dat"),
              (std::vector<std::uint8_t>{1, 2, 3}));
}

} // namespace
} // namespace kl::data
