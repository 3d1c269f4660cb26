// The .x reader: one scene in every encoding, the merge rules (frames, fans, normals, materials),
// what is skipped, and clean failure on malformed input.
#include "platform/d3dx/xfile/xfile_reader.h"
#include "platform/d3dx/xfile_test_support.h"
#include "support/temp_dir.h"
#include "xfile_writer/sample_scenes.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace kl::platform {
namespace {

using test::Bytes;
using test::Encode;
using test::TextX;
using test::XEncoding;

MeshData MustRead(const std::vector<std::uint8_t>& bytes) {
    XFileResult r = ReadXFile(bytes);
    EXPECT_TRUE(r.mesh.has_value()) << r.error;
    return r.mesh.value_or(MeshData{});
}

// The sample scene worked out by hand (see sample_scenes.h). Mesh A sits in Child inside Root:
// (x, y, z) -> (-y, x, z) -> (10 - y, x, z). Its quad keeps the file's slots 0..4; the triangle
// (0,3,4) wants other normals for vertices 0 and 3, which become copies 5 and 6. The second mesh
// sits in Root only: + (10, 0, 0), and starts at vertex 7. Subsets: A's list (1, 0) uses materials
// 0..1; the second mesh's short list (0, 1) repeats its last index for the third face and is
// shifted past A's two materials.
MeshData HandWorkedScene() {
    MeshData m;
    m.positions = {{10, 0, 0}, {10, 1, 0}, {9, 1, 0},  {9, 0, 0},  {10, 0, 1}, {10, 0, 0},
                   {9, 0, 0},  {10, 0, 0}, {10, 0, 2}, {12, 0, 2}, {12, 0, 0}, {13, 0, 1}};
    const Float3 quad{0, 0, -1}, tri{0, -1, 0}, up{0, 1, 0};
    m.normals = {quad, quad, quad, quad, tri, tri, tri, up, up, up, up, up};
    m.texcoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}, {0, 0}, {0, 1}, {}, {}, {}, {}, {}};
    m.faces = {{0, 1, 2}, {0, 2, 3}, {5, 6, 4}, {7, 8, 9}, {7, 9, 11}, {7, 11, 10}, {8, 9, 11}};
    m.subsets = {1, 1, 0, 2, 3, 3, 3};
    const XMaterial red{{1, 0, 0, 1}, 8, {0.5f, 0.5f, 0.5f}, {0, 0, 0}, ""};
    const XMaterial blue{{0, 0, 1, 1}, 4, {1, 1, 1}, {0, 0, 0}, "Tex\\Wall.BMP"};
    const XMaterial green{{0, 1, 0, 1}, 2, {0, 0, 0}, {0, 0.25f, 0}, ""};
    m.materials = {red, blue, red, green};
    m.fvf = kFvfXyz | kFvfNormal | kFvfTex1;
    return m;
}

class XFileEncodings : public testing::TestWithParam<XEncoding> {};

TEST_P(XFileEncodings, ReadTheSampleSceneAsWorkedOutByHand) {
    const MeshData got = MustRead(Encode(GetParam(), tools::WriteSampleScene));
    const MeshData want = HandWorkedScene();
    // Field by field first, so that a failure names what differs.
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.normals, want.normals);
    EXPECT_EQ(got.texcoords, want.texcoords);
    EXPECT_EQ(got.faces, want.faces);
    EXPECT_EQ(got.subsets, want.subsets);
    EXPECT_EQ(got.materials, want.materials);
    EXPECT_EQ(got.fvf, want.fvf);
}

TEST_P(XFileEncodings, TruncatedAtEveryByteFailCleanlyOrReadTheWhole) {
    const auto full = Encode(GetParam(), tools::WriteSampleScene);
    const MeshData whole = MustRead(full);
    for (std::size_t n = 0; n < full.size(); ++n) {
        // An exactly sized copy, so that the sanitizers see any read past the end.
        const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const XFileResult r = ReadXFile(prefix);
        if (r.mesh) {
            // A cut between the leading templates and materials leaves a valid file without
            // geometry; a cut anywhere in the frame that holds the meshes must fail, and only
            // trailing whitespace may go missing without harm.
            if (!r.mesh->positions.empty()) {
                EXPECT_EQ(*r.mesh, whole) << "prefix of " << n << " bytes";
            }
        } else {
            EXPECT_FALSE(r.error.empty()) << "prefix of " << n << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, XFileEncodings,
                         testing::Values(XEncoding::Text, XEncoding::Binary, XEncoding::Binary64,
                                         XEncoding::Tzip, XEncoding::Bzip, XEncoding::BzipSmallBlocks),
                         [](const testing::TestParamInfo<XEncoding>& p) {
                             return std::string(test::Name(p.param));
                         });

TEST(XFileReader, ABigCompressedFileReadsLikeItsText) {
    // Well over 32 KB of text, so that later blocks refer back into the window of earlier ones.
    const auto grid = [](tools::XWriter& w) { tools::WriteGridMesh(w, 40, 40); };
    const auto text = Encode(XEncoding::Text, grid);
    ASSERT_GT(text.size(), 3u * 32768u);
    const MeshData plain = MustRead(text);
    EXPECT_EQ(plain.faces.size(), 2u * 40 * 40);
    EXPECT_EQ(MustRead(Encode(XEncoding::Tzip, grid)), plain);
    EXPECT_EQ(MustRead(Encode(XEncoding::Bzip, grid)), plain);
    EXPECT_EQ(MustRead(Encode(XEncoding::BzipSmallBlocks, grid)), plain);
}

TEST(XFileReader, AcceptsCompressedSizesWithOrWithoutHeaderAndSignature) {
    auto bytes = Encode(XEncoding::BzipSmallBlocks, tools::WriteSampleScene);
    const MeshData want = MustRead(bytes);
    // The other convention: the total leaves out the 16-byte header, block sizes leave out "CK".
    std::uint32_t total = bytes[16] | (bytes[17] << 8) | (bytes[18] << 16) | (bytes[19] << 24);
    total -= 16;
    for (int i = 0; i < 4; ++i)
        bytes[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
    int blocks = 0;
    for (std::size_t at = 20; at < bytes.size(); ++blocks) {
        const std::size_t packed = bytes[at + 2] | (bytes[at + 3] << 8);
        bytes[at + 2] = static_cast<std::uint8_t>(packed - 2);
        bytes[at + 3] = static_cast<std::uint8_t>((packed - 2) >> 8);
        at += 4 + packed;
    }
    EXPECT_GT(blocks, 3);
    EXPECT_EQ(MustRead(bytes), want);
}

TEST(XFileReader, TakesAStringTerminatorWrittenAs32Bits) {
    // Some binary writers give the token after a string four bytes; the extra two are zero.
    auto bytes = Encode(XEncoding::Binary, tools::WriteSampleScene);
    const MeshData want = MustRead(bytes);
    const std::string texture = "Tex\\Wall.BMP";
    const auto at = std::search(bytes.begin(), bytes.end(), texture.begin(), texture.end());
    ASSERT_NE(at, bytes.end());
    const auto terminator_end = at + static_cast<std::ptrdiff_t>(texture.size()) + 2;
    ASSERT_EQ(*(terminator_end - 2), 20); // ';'
    bytes.insert(terminator_end, {0, 0});
    EXPECT_EQ(MustRead(bytes), want);
}

TEST(XFileReader, NoMaterialListGivesNoMaterialsAndPentagonsSplitIntoFans) {
    const MeshData m = MustRead(TextX(R"(
Mesh {
 5; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;;
 1; 5;0,1,2,3,4;;
})"));
    EXPECT_TRUE(m.materials.empty());
    EXPECT_EQ(m.fvf, kFvfXyz);
    EXPECT_TRUE(m.normals.empty());
    EXPECT_TRUE(m.texcoords.empty());
    EXPECT_EQ(m.faces, (std::vector<std::array<std::uint32_t, 3>>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}));
    EXPECT_EQ(m.subsets, (std::vector<std::uint32_t>{0, 0, 0}));
}

constexpr char kPlainMesh[] = R"(
Mesh Box {
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
 1; 4;0,1,2,3;;
 MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }
}
)";

TEST(XFileReader, SkipsTemplatesUnknownObjectsCommentsAndGuids) {
    const MeshData want = MustRead(TextX(kPlainMesh));
    const MeshData got = MustRead(TextX(R"(
# a comment
template Mesh { <11111111-2222-3333-4444-555555555555> DWORD nVertices; array Vector vertices[nVertices]; [...] }
AnimTicksPerSecond { 4800; }
AnimationSet Walk { Animation { { Box } AnimationKey { 0; 1; 0; 4; 0,0,0,1;;; } } }
3DSMesh-1 { 7; }  // exporters' names may begin with a digit
Mesh Box <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE> {
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
 1; 4;0,1,2,3;;
 XSkinMeshHeader { 1; 2; 3; }
 DeclData { 1; 2;0;3;0;; 2; 10, 20; }
 VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }
 MeshMaterialList { 1; 1; 0;; Material Mat <01234567-89AB-CDEF-0123-456789ABCDEF> {
   1;1;1;1;; 0; 0;0;0;; 0;0;0;; Unknown { "x"; } } }
}
)"));
    EXPECT_EQ(got, want);
}

TEST(XFileReader, TakesSeparatorsLeniently) {
    const MeshData want = MustRead(TextX(kPlainMesh));
    EXPECT_EQ(MustRead(TextX(R"(
Mesh Box {
 4 0 0 0  1 0 0  1 1 0  0 1 0
 1 4 0 1 2 3
 MeshMaterialList { 1, 1, 0, Material { 1,1,1,1, 0, 0,0,0, 0,0,0 } }
})")),
              want);
    EXPECT_EQ(MustRead(TextX(R"(
Mesh Box {
 4;; 0.0;0.0;0.0;;, 1.0;0;0;;, 1;1.;0;;, 0;1;0;;;
 1;; 4;0;1;2;3;;;
 MeshMaterialList { 1;; 1;; 0;;; Material { 1;1;1;1;;; 0;;; 0;0;0;;; 0;0;0;;; } }
})")),
              want);
}

TEST(XFileReader, EqualNormalsWrittenTwiceDoNotSplitAVertex) {
    const MeshData m = MustRead(TextX(R"(
Mesh {
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
 2; 3;0,1,2;, 3;0,2,3;;
 MeshNormals { 2; 0;0;1;, 0;0;1;; 2; 3;0,0,0;, 3;1,1,1;; }
})"));
    EXPECT_EQ(m.positions.size(), 4u);
    EXPECT_EQ(m.faces, (std::vector<std::array<std::uint32_t, 3>>{{0, 1, 2}, {0, 2, 3}}));
    EXPECT_EQ(m.normals, std::vector<Float3>(4, Float3{0, 0, 1}));
}

TEST(XFileReader, NormalsStayPerpendicularInAScaledFrameAndTheMatrixMayComeLast) {
    // A face slanted at 45 degrees, stretched by 2 along x: its normal must tilt, not simply scale.
    const MeshData m = MustRead(TextX(R"(
Frame {
 Mesh {
  3; 0;0;0;, 0;1;0;, 1;0;1;;
  1; 3;0,1,2;;
  MeshNormals { 1; 0.70710678;0;-0.70710678;; 1; 3;0,0,0;; }
 }
 FrameTransformMatrix { 2,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
})"));
    ASSERT_EQ(m.positions.size(), 3u);
    EXPECT_EQ(m.positions[2], (Float3{2, 0, 1}));
    const Float3 n = m.normals[0];
    const Float3 edge{m.positions[2].x - m.positions[0].x, m.positions[2].y - m.positions[0].y,
                      m.positions[2].z - m.positions[0].z};
    EXPECT_NEAR(n.x * edge.x + n.y * edge.y + n.z * edge.z, 0.0, 1e-6);
    EXPECT_NEAR(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 1.0, 1e-6);
}

TEST(XFileReader, AMeshWithoutListBesideListedOnesDrawsWithOnePlainMaterialAtTheEnd) {
    const MeshData m = MustRead(TextX(R"(
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }
Mesh { 3; 0;0;1;, 1;0;1;, 0;1;1;; 1; 3;0,1,2;;
 MeshMaterialList { 2; 1; 1;; Material { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; } Material { 0;1;0;1;; 5; 0;0;0;; 0;0;0;; } } }
Mesh { 3; 0;0;2;, 1;0;2;, 0;1;2;; 1; 3;0,1,2;; }
)"));
    ASSERT_EQ(m.materials.size(), 3u);
    EXPECT_EQ(m.materials[2].diffuse, (ColorRGBA{1, 1, 1, 1}));
    EXPECT_EQ(m.subsets, (std::vector<std::uint32_t>{2, 1, 2}));
}

TEST(XFileReader, AnEmptyFaceIndexListPutsEveryFaceInTheFirstMaterial) {
    const MeshData m = MustRead(TextX(R"(
Mesh { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;
 MeshMaterialList { 2; 0;; Material { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; } Material { 0;1;0;1;; 5; 0;0;0;; 0;0;0;; } } })"));
    EXPECT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.subsets, (std::vector<std::uint32_t>{0, 0}));
}

TEST(XFileReader, ReadsFromAPathAndReportsAMissingFile) {
    test::TempDir dir;
    test::WriteBytes(dir.path() / "m.x", TextX(kPlainMesh));
    const XFileResult ok = ReadXFileFromPath(dir.path() / "m.x");
    ASSERT_TRUE(ok.mesh.has_value()) << ok.error;
    EXPECT_EQ(ok.mesh->faces.size(), 2u);
    const XFileResult missing = ReadXFileFromPath(dir.path() / "missing.x");
    EXPECT_FALSE(missing.mesh.has_value());
    EXPECT_NE(missing.error, "");
}

// --- malformed input -------------------------------------------------------------------------

struct Malformed {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* reason; // a part of the expected reason
};

std::vector<std::uint8_t> Corrupted(XEncoding e,
                                    const std::function<void(std::vector<std::uint8_t>&)>& change) {
    auto bytes = Encode(e, tools::WriteSampleScene);
    change(bytes);
    return bytes;
}

std::vector<std::uint8_t> TooManyVerticesAfterSplitting() {
    // 65535 vertices fit; two faces over the same corners with different normals need three more.
    std::string body = "Mesh { 65535;";
    for (int i = 0; i < 65535; ++i)
        body += "0;0;0;,";
    body += "; 2; 3;0,1,2;, 3;0,1,2;; MeshNormals { 2; 0;0;1;, 0;1;0;; 2; 3;0,0,0;, 3;1,1,1;; } }";
    return TextX(body);
}

std::vector<std::uint8_t> DeepFrames(int depth) {
    std::string body;
    for (int i = 0; i < depth; ++i)
        body += "Frame {";
    for (int i = 0; i < depth; ++i)
        body += "}";
    return TextX(body);
}

std::vector<Malformed> MalformedCases() {
    const std::string mesh3 = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; ";
    const std::string mat = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    return {
        {"empty file", {}, "shorter than the 16-byte header"},
        {"bad magic", TextX("", "xif 0303txt 0032"), "not a .x file"},
        {"old version", TextX("", "xof 0201txt 0032"), "unsupported version"},
        {"unknown format", TextX("", "xof 0303abc 0032"), "unsupported format"},
        {"bad float size", TextX("", "xof 0303txt 0016"), "unsupported float size"},
        {"vertex count beyond the data", TextX("Mesh { 1000; 0;0;0;; 0;; }"),
         "vertex count 1000 does not fit"},
        {"absurd face count", TextX("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 4294967295; }"),
         "face count 4294967295 does not fit"},
        {"count beyond 32 bits", TextX("Mesh { 99999999999; }"), "expected an unsigned integer"},
        {"negative count", TextX("Mesh { -3; }"), "expected an unsigned integer"},
        {"vertex index out of range", TextX("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }"),
         "vertex index 3 out of range"},
        {"normal index out of range", TextX(mesh3 + "MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }"),
         "normal index 1 out of range"},
        {"normal faces differ", TextX(mesh3 + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }"),
         "normal faces do not match"},
        {"short texture coordinates", TextX(mesh3 + "MeshTextureCoords { 2; 0;0;, 1;1;; } }"),
         "2 texture coordinates for 3 vertices"},
        {"material index out of range", TextX(mesh3 + "MeshMaterialList { 1; 1; 1;; " + mat + " } }"),
         "material index 1 out of range"},
        {"missing materials", TextX(mesh3 + "MeshMaterialList { 2; 1; 0;; " + mat + " } }"),
         "material list of 2 materials holds 1"},
        {"unknown material reference", TextX(mesh3 + "MeshMaterialList { 1; 1; 0;; { Nope } } }"),
         "unknown material 'Nope'"},
        {"reference after its use",
         TextX(mesh3 + "MeshMaterialList { 1; 1; 0;; { Late } } }" +
               "Material Late { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }"),
         "unknown material 'Late'"},
        {"missing closing brace", TextX(mesh3 + "MeshMaterialList { 1; 1; 0;; " + mat), "missing '}'"},
        {"unbalanced unknown object", TextX("Thing { { { }"), "missing '}'"},
        {"stray closing brace", TextX("}"), "unexpected '}'"},
        {"no brace after a type", TextX("Mesh Box 3;"), "expected '{' after Mesh"},
        {"template without name", TextX("template { }"), "expected a template name"},
        {"frames nested too deep", DeepFrames(200), "nested deeper than 64"},
        {"unknown objects nested too deep", TextX(std::string(100, '{') + std::string(100, '}')),
         "nested deeper than 64"},
        {"unterminated string",
         TextX(mesh3 + "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename "
                       "{ \"a.bmp; } } } }"),
         "unterminated string"},
        {"malformed number", TextX("Mesh { 3; 0;0;1.2.3;"), "malformed number"},
        {"too many vertices in the file", TextX("Mesh { 65536; }"), "does not fit"},
        {"too many vertices after splitting", TooManyVerticesAfterSplitting(),
         "more than the limit of 65535"},
        {"unknown binary token", Bytes("xof 0303bin 0032").W(99).get(), "unknown binary token 99"},
        {"binary name overruns", Bytes("xof 0303bin 0032").W(1).D(1000).S("Mesh").get(), "truncated name"},
        {"binary list overruns",
         Bytes("xof 0303bin 0032").W(1).D(4).S("Mesh").W(10).W(6).D(0x40000000).D(3).get(),
         "overruns the data"},
        {"binary float list overruns",
         Bytes("xof 0303bin 0064").W(1).D(4).S("Mesh").W(10).W(6).D(1).D(1).W(7).D(3).D(0).D(0).get(),
         "overruns the data"},
        {"block without signature", Corrupted(XEncoding::Tzip, [](auto& b) { b[24] = 'X'; }),
         "without \"CK\""},
        {"corrupt deflate data",
         Corrupted(XEncoding::Tzip,
                   [](auto& b) {
                       for (std::size_t i = 26; i < 40; ++i)
                           b[i] ^= 0x5A;
                   }),
         "compressed block"},
        {"declared size differs", Corrupted(XEncoding::Bzip, [](auto& b) { b[16] ^= 1; }), "declared"},
        {"declared size absurd", Corrupted(XEncoding::Bzip, [](auto& b) { b[19] = 0x7F; }), "too large"},
        {"block size lies",
         Corrupted(XEncoding::Bzip, [](auto& b) { b[22] = static_cast<std::uint8_t>(b[22] + 5); }), "block"},
        {"truncated block header", Corrupted(XEncoding::Bzip, [](auto& b) { b.push_back(1); }),
         "truncated compressed block header"},
    };
}

TEST(XFileReader, MalformedInputFailsCleanlyWithAReason) {
    for (const Malformed& c : MalformedCases()) {
        const XFileResult r = ReadXFile(c.bytes);
        EXPECT_FALSE(r.mesh.has_value()) << c.what;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.what << ": got \"" << r.error << "\"";
    }
}

} // namespace
} // namespace kl::platform
