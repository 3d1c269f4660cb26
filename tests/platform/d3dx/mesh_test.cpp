// The platform mesh on the recording back-end: loading a .x file into buffers, adjacency,
// optimisation, normals, drawing a subset, and meshes of one file sharing until one writes.
#include "platform/d3dx/mesh.h"
#include "platform/gfx/recording/recording_system.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace kl::d3dx {
namespace {

using gfx::Status;
using test::TestMesh;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};
static_assert(sizeof(Vertex) == 32);
using Pos = std::array<float, 3>;
constexpr Dword kFvfFull = 0x112;

class MeshTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gfx::PresentParameters p;
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferFormat = gfx::FmtX8R8G8B8;
        p.Windowed = true;
        ASSERT_EQ(sys.CreateDevice(0, gfx::DevTypeHal, nullptr, 0, &p, &device), Status::Ok);
        ClearMeshFileCache();
        sys.Log().Clear();
        parses_before = MeshFileParses();
    }
    // Files parsed by this test.
    std::size_t parses() const { return MeshFileParses() - parses_before; }
    void TearDown() override { ClearMeshFileCache(); }

    std::string write(const std::string& name, const TestMesh& m) {
        const auto path = dir.path() / name;
        test::WriteXFile(path, m);
        return path.string();
    }

    // A mesh made empty and then filled, as the mesh object rebuilds one.
    MeshPtr made(Dword fvf, const std::vector<std::uint8_t>& vertex_bytes,
                 const std::vector<std::uint16_t>& indices, const std::vector<Dword>& attributes) {
        MeshPtr mesh;
        const Dword stride = GetFVFVertexSize(fvf);
        EXPECT_EQ(CreateMeshFVF(static_cast<Dword>(attributes.size()),
                                static_cast<Dword>(vertex_bytes.size() / stride), MeshManaged, fvf, device,
                                &mesh),
                  Status::Ok);
        std::uint8_t* data = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(0, &data), Status::Ok);
        std::memcpy(data, vertex_bytes.data(), vertex_bytes.size());
        mesh->UnlockVertexBuffer();
        EXPECT_EQ(mesh->LockIndexBuffer(0, &data), Status::Ok);
        std::memcpy(data, indices.data(), indices.size() * 2);
        mesh->UnlockIndexBuffer();
        Dword* attr = nullptr;
        EXPECT_EQ(mesh->LockAttributeBuffer(0, &attr), Status::Ok);
        std::copy(attributes.begin(), attributes.end(), attr);
        mesh->UnlockAttributeBuffer();
        return mesh;
    }

    gfx::RecordingSystem sys;
    gfx::DevicePtr device;
    test::TempDir dir;
    std::size_t parses_before = 0;
};

template <class T> std::vector<T> vertices_of(Mesh& mesh) {
    std::uint8_t* data = nullptr;
    EXPECT_EQ(mesh.LockVertexBuffer(gfx::LockReadOnly, &data), Status::Ok);
    std::vector<T> out(mesh.GetNumVertices());
    std::memcpy(out.data(), data, out.size() * sizeof(T));
    mesh.UnlockVertexBuffer();
    return out;
}

std::vector<std::uint16_t> indices_of(Mesh& mesh) {
    std::uint8_t* data = nullptr;
    EXPECT_EQ(mesh.LockIndexBuffer(gfx::LockReadOnly, &data), Status::Ok);
    std::vector<std::uint16_t> out(std::size_t{mesh.GetNumFaces()} * 3);
    std::memcpy(out.data(), data, out.size() * 2);
    mesh.UnlockIndexBuffer();
    return out;
}

std::vector<Dword> attributes_of(Mesh& mesh) {
    Dword* data = nullptr;
    EXPECT_EQ(mesh.LockAttributeBuffer(gfx::LockReadOnly, &data), Status::Ok);
    std::vector<Dword> out(data, data + mesh.GetNumFaces());
    mesh.UnlockAttributeBuffer();
    return out;
}

template <class T> std::vector<std::uint8_t> bytes_of(const std::vector<T>& v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(v.data());
    return {p, p + v.size() * sizeof(T)};
}

// Each face as (subset, corner positions in order): what must survive any reordering.
using FaceKey = std::tuple<Dword, std::array<float, 9>>;
std::multiset<FaceKey> faces_of(Mesh& mesh) {
    const auto v = vertices_of<Vertex>(mesh);
    const auto idx = indices_of(mesh);
    const auto attr = attributes_of(mesh);
    std::multiset<FaceKey> out;
    for (std::size_t f = 0; f < attr.size(); ++f) {
        std::array<float, 9> p{};
        for (std::size_t k = 0; k < 3; ++k) {
            const Vertex& c = v.at(idx[f * 3 + k]);
            p[k * 3] = c.x;
            p[k * 3 + 1] = c.y;
            p[k * 3 + 2] = c.z;
        }
        out.insert({attr[f], p});
    }
    return out;
}

TEST_F(MeshTest, LoadGivesVertexBytesInTheFormatsLayoutWithMaterialsAndSubsets) {
    TestMesh m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    m.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    m.texcoords = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    m.faces = {{0, 3, 2}, {0, 2, 1}};
    m.subsets = {1, 0};
    m.materials = {{{1, 0, 0, 0.5f}, 12, {0.25f, 0.5f, 0.75f}, {0.1f, 0.2f, 0.3f}, "Brick.JPG"},
                   {{0, 1, 0, 1}, 0, {0, 0, 0}, {0, 0, 0}, ""}};
    const std::string file = write("quad.x", m);

    MeshPtr mesh;
    MaterialBuffer materials;
    Dword count = 0;
    std::vector<Dword> adjacency;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, &adjacency, &materials, &count, &mesh), Status::Ok);
    EXPECT_EQ(mesh->GetFVF(), kFvfFull);
    EXPECT_EQ(mesh->GetNumVertices(), 4u);
    EXPECT_EQ(mesh->GetNumFaces(), 2u);
    const auto v = vertices_of<Vertex>(*mesh);
    EXPECT_EQ(v[2].x, 1);
    EXPECT_EQ(v[2].y, 1);
    EXPECT_EQ(v[2].nz, -1);
    EXPECT_EQ(v[2].u, 1);
    EXPECT_EQ(v[2].v, 0);
    EXPECT_EQ(indices_of(*mesh), (std::vector<std::uint16_t>{0, 3, 2, 0, 2, 1}));
    EXPECT_EQ(attributes_of(*mesh), (std::vector<Dword>{1, 0}));
    EXPECT_EQ(adjacency, (std::vector<Dword>{kNoNeighbour, kNoNeighbour, 1, 0, kNoNeighbour, kNoNeighbour}));

    ASSERT_EQ(count, 2u);
    gfx::Material first;
    ASSERT_EQ(materials.GetMaterial(0, &first), Status::Ok);
    EXPECT_EQ(first.Diffuse.a, 0.5f);
    EXPECT_EQ(first.Power, 12);
    EXPECT_EQ(first.Specular.b, 0.75f);
    EXPECT_EQ(first.Emissive.g, 0.2f);
    EXPECT_EQ(first.Ambient.r, 0);
    std::string name = "x";
    EXPECT_EQ(materials.GetTextureName(0, &name), Status::Ok);
    EXPECT_EQ(name, "Brick.JPG") << "kept exactly as written";
    EXPECT_EQ(materials.GetTextureName(1, &name), Status::Ok);
    EXPECT_EQ(name, "");
    EXPECT_EQ(materials.GetTextureName(2, &name), Status::InvalidCall);

    // Managed 16-bit buffers.
    const gfx::Call* vb = sys.Log().Last("CreateVertexBuffer");
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(vb->args, (std::vector<double>{4 * 32, 0, kFvfFull, gfx::PoolManaged}));
    const gfx::Call* ib = sys.Log().Last("CreateIndexBuffer");
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(ib->args, (std::vector<double>{12, 0, gfx::FmtIndex16, gfx::PoolManaged}));
}

TEST_F(MeshTest, LoadFailsCleanlyOnMissingBrokenOrEmptyFiles) {
    MeshPtr mesh;
    Dword count = 7;
    EXPECT_EQ(
        LoadMeshFromX((dir.path() / "none.x").string(), MeshManaged, device, nullptr, nullptr, &count, &mesh),
        Status::NotFound);
    EXPECT_EQ(mesh, nullptr);
    test::WriteBytes(dir.path() / "broken.x", {'x', 'o', 'f', ' ', '0', '3'});
    EXPECT_NE(LoadMeshFromX((dir.path() / "broken.x").string(), MeshManaged, device, nullptr, nullptr, &count,
                            &mesh),
              Status::Ok);
    EXPECT_EQ(mesh, nullptr);
    test::WriteBytes(dir.path() / "empty.x",
                     {'x', 'o', 'f', ' ', '0', '3', '0', '3', 't', 'x', 't', ' ', '0', '0', '3', '2'});
    EXPECT_NE(LoadMeshFromX((dir.path() / "empty.x").string(), MeshManaged, device, nullptr, nullptr, &count,
                            &mesh),
              Status::Ok);
    EXPECT_EQ(LoadMeshFromX(write("box.x", test::BoxMesh({0, 0, 0}, {1, 1, 1})), Mesh32Bit, device, nullptr,
                            nullptr, &count, &mesh),
              Status::InvalidCall)
        << "only 16-bit indices";
    EXPECT_EQ(parses(), 0u);
}

TEST_F(MeshTest, NamesAreFoundWithBackslashesAndAnyLetterCase) {
    write("Models/Car.x", test::BoxMesh({0, 0, 0}, {1, 1, 1}));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    MeshPtr mesh;
    const Status s = LoadMeshFromX("MODELS\\car.X", MeshManaged, device, nullptr, nullptr, nullptr, &mesh);
    std::filesystem::current_path(cwd);
    ASSERT_EQ(s, Status::Ok);
    EXPECT_EQ(mesh->GetNumVertices(), 8u);
}

TEST_F(MeshTest, AdjacencyJoinsFacesWhoseEdgeCornersAreExactlyEqual) {
    // Two triangles sharing the edge 1-2 through distinct but equal vertices, and a third whose
    // corner misses the shared corner by one step of the float.
    const float nudged = std::nextafter(1.0f, 2.0f);
    const std::vector<Vertex> v = {{0, 0, 0, 0, 0, 0, 0, 0},      {1, 0, 0, 0, 0, 0, 0, 0},
                                   {0, 1, 0, 0, 0, 0, 0, 0},      {1, 0, 0, 0, 0, 0, 0, 0},
                                   {1, 1, 0, 0, 0, 0, 0, 0},      {0, 1, 0, 0, 0, 0, 0, 0},
                                   {nudged, 1, 0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0, 0, 0}};
    MeshPtr mesh = made(kFvfFull, bytes_of(v), {0, 1, 2, 3, 4, 5, 6, 3, 7}, {0, 0, 0});
    std::vector<Dword> adjacency(9, 12345);
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), Status::Ok);
    // Face 0's edge 1 (corner 1 to 2) meets face 1's edge 2 (corner 2 to 0).
    EXPECT_EQ(adjacency, (std::vector<Dword>{kNoNeighbour, 1, kNoNeighbour, kNoNeighbour, kNoNeighbour, 0,
                                             kNoNeighbour, kNoNeighbour, kNoNeighbour}));
    // A tolerance wide enough joins the nudged corner too: face 2's edge 0 (6 to 3) meets face 1's
    // edge 0 (3 to 4).
    ASSERT_EQ(mesh->GenerateAdjacency(1e-3f, adjacency.data()), Status::Ok);
    EXPECT_EQ(adjacency[1 * 3 + 0], 2u);
    EXPECT_EQ(adjacency[2 * 3 + 0], 1u);
    EXPECT_EQ(adjacency[0 * 3 + 1], 1u);
    EXPECT_EQ(mesh->GenerateAdjacency(-1.0f, adjacency.data()), Status::InvalidCall);
}

TEST_F(MeshTest, OptimisationSortsBySubsetDropsUnusedVerticesAndKeepsEveryTriangle) {
    // A strip of quads with interleaved subsets and an unused vertex in the middle.
    std::vector<Vertex> v;
    for (int i = 0; i < 6; ++i) {
        v.push_back({float(i), 0, 0, 0, 0, 0, float(i), 0});
        v.push_back({float(i), 1, 0, 0, 0, 0, float(i), 1});
    }
    v.insert(v.begin() + 5, Vertex{99, 99, 99, 0, 0, 0, 0, 0});
    auto at = [](int column, int row) {
        return static_cast<std::uint16_t>(column * 2 + row + (column * 2 + row >= 5 ? 1 : 0));
    };
    std::vector<std::uint16_t> idx;
    std::vector<Dword> attr;
    for (int q = 0; q < 5; ++q) {
        idx.insert(idx.end(), {at(q, 0), at(q, 1), at(q + 1, 1), at(q, 0), at(q + 1, 1), at(q + 1, 0)});
        attr.insert(attr.end(), {Dword(q % 3), Dword(q % 3)});
    }
    MeshPtr mesh = made(kFvfFull, bytes_of(v), idx, attr);
    const auto before = faces_of(*mesh);
    std::vector<Dword> adjacency(attr.size() * 3);
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), Status::Ok);

    std::vector<Dword> adjacency_out(adjacency.size()), face_remap(attr.size());
    std::vector<Dword> vertex_remap;
    ASSERT_EQ(mesh->OptimizeInplace(MeshOptCompact | MeshOptAttrSort | MeshOptVertexCache, adjacency.data(),
                                    adjacency_out.data(), face_remap.data(), &vertex_remap),
              Status::Ok);
    EXPECT_EQ(mesh->GetNumVertices(), 12u) << "the unused vertex is gone";
    EXPECT_EQ(mesh->GetNumFaces(), 10u);
    EXPECT_EQ(faces_of(*mesh), before);
    const auto sorted = attributes_of(*mesh);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    for (std::size_t f = 0; f < face_remap.size(); ++f)
        EXPECT_EQ(sorted[f], attr[face_remap[f]]) << "face " << f << " came from face " << face_remap[f];
    EXPECT_EQ(std::count(vertex_remap.begin(), vertex_remap.end(), 5u), 0);

    // The adjacency output names the same neighbours under the new face numbers.
    std::vector<Dword> regenerated(adjacency.size());
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, regenerated.data()), Status::Ok);
    EXPECT_EQ(adjacency_out, regenerated);

    // One attribute range per subset, and one draw call each.
    const auto table = mesh->GetAttributeTable();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0], (AttributeRange{0, 0, 4, table[0].VertexStart, table[0].VertexCount}));
    EXPECT_EQ(table[2].AttribId, 2u);
    EXPECT_EQ(table[2].FaceStart, 8u);
    sys.Log().Clear();
    ASSERT_EQ(mesh->DrawSubset(1), Status::Ok);
    ASSERT_EQ(sys.Log().Count("DrawIndexedPrimitive"), 1u);
    const gfx::Call& draw = *sys.Log().Last("DrawIndexedPrimitive");
    EXPECT_EQ(draw.args, (std::vector<double>{gfx::PtTriangleList, double(table[1].VertexStart),
                                              double(table[1].VertexCount), 4 * 3, 4}));
    EXPECT_EQ(sys.Log().Last("SetVertexShader")->args[0], kFvfFull);
    EXPECT_EQ(sys.Log().Last("SetStreamSource")->args[2], 32);
    EXPECT_EQ(mesh->DrawSubset(7), Status::Ok);
    EXPECT_EQ(sys.Log().Count("DrawIndexedPrimitive"), 1u) << "a subset without faces draws nothing";
}

TEST_F(MeshTest, UnsortedSubsetsDrawOneCallPerRun) {
    const std::vector<Vertex> v(4, Vertex{});
    MeshPtr mesh = made(kFvfFull, bytes_of(v), {0, 1, 2, 0, 2, 3, 1, 2, 3}, {4, 5, 4});
    ASSERT_EQ(mesh->DrawSubset(4), Status::Ok);
    const auto draws = sys.Log().Find("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].args, (std::vector<double>{gfx::PtTriangleList, 0, 3, 0, 1}));
    EXPECT_EQ(draws[1].args, (std::vector<double>{gfx::PtTriangleList, 1, 3, 6, 1}));
}

TEST_F(MeshTest, NormalsOfAFlatQuadPointToTheSideItFaces) {
    // Clockwise seen from above (+y), so the face normal is +y; the quad's two triangles differ in area.
    const std::vector<Vertex> v = {{0, 0, 0, 9, 9, 9, 0, 0},
                                   {0, 0, 1, 9, 9, 9, 0, 0},
                                   {3, 0, 1, 9, 9, 9, 0, 0},
                                   {1, 0, 0, 9, 9, 9, 0, 0},
                                   {5, 5, 5, 9, 9, 9, 0, 0}};
    MeshPtr mesh = made(kFvfFull, bytes_of(v), {0, 1, 2, 0, 2, 3}, {0, 0});
    ASSERT_EQ(ComputeNormals(*mesh), Status::Ok);
    const auto out = vertices_of<Vertex>(*mesh);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(out[i].nx, 0) << i;
        EXPECT_FLOAT_EQ(out[i].ny, 1) << i;
        EXPECT_FLOAT_EQ(out[i].nz, 0) << i;
        EXPECT_EQ(out[i].x, v[i].x) << "positions stay";
    }
    EXPECT_EQ(out[4].nx, 0);
    EXPECT_EQ(out[4].ny, 0) << "a vertex no face uses has no normal";

    // Two faces at right angles: the shared corner's normal leans to the larger one.
    const std::vector<Vertex> bent = {{0, 0, 0, 0, 0, 0, 0, 0},
                                      {0, 0, 1, 0, 0, 0, 0, 0},
                                      {2, 0, 0, 0, 0, 0, 0, 0},
                                      {0, 1, 0, 0, 0, 0, 0, 0}};
    MeshPtr corner = made(kFvfFull, bytes_of(bent), {0, 1, 2, 0, 3, 1}, {0, 0});
    ASSERT_EQ(ComputeNormals(*corner), Status::Ok);
    const Vertex shared = vertices_of<Vertex>(*corner)[0];
    EXPECT_NEAR(shared.ny, 2 / std::sqrt(5.0f), 1e-6);
    EXPECT_NEAR(shared.nx, 1 / std::sqrt(5.0f), 1e-6);

    MeshPtr plain;
    ASSERT_EQ(CreateMeshFVF(1, 3, MeshManaged, 0x002, device, &plain), Status::Ok);
    EXPECT_EQ(ComputeNormals(*plain), Status::InvalidCall) << "no normals in the format";
}

TEST_F(MeshTest, EmptyMeshesAreAllowedButNotFormatsWithoutPosition) {
    MeshPtr mesh;
    ASSERT_EQ(CreateMeshFVF(0, 0, MeshManaged, kFvfFull, device, &mesh), Status::Ok);
    EXPECT_EQ(mesh->GetNumVertices(), 0u);
    std::uint8_t* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(gfx::LockReadOnly, &data), Status::Ok);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(mesh->UnlockVertexBuffer(), Status::Ok);
    EXPECT_EQ(mesh->UnlockVertexBuffer(), Status::InvalidCall) << "one unlock per lock";
    EXPECT_EQ(mesh->DrawSubset(0), Status::Ok);
    EXPECT_EQ(sys.Log().Count("DrawIndexedPrimitive"), 0u);
    EXPECT_EQ(CreateMeshFVF(1, 3, MeshManaged, 0, device, &mesh), Status::InvalidCall);
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(CreateMeshFVF(1, 3, MeshManaged, 0x004, device, &mesh), Status::InvalidCall);
}

TEST_F(MeshTest, LoadsOfOneFileShareBuffersUntilOneWrites) {
    const std::string file = write("box.x", test::BoxMesh({-1, 0, -2}, {3, 4, 2}));
    MeshPtr a, b;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &a), Status::Ok);
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &b), Status::Ok);
    EXPECT_EQ(parses(), 1u);
    EXPECT_TRUE(a->SharesBuffersWith(*b));
    EXPECT_EQ(sys.Log().Count("CreateVertexBuffer"), 1u);

    // The same in-place steps on both keep them sharing.
    for (MeshPtr* m : {&a, &b}) {
        ASSERT_EQ((*m)->OptimizeInplace(MeshOptCompact | MeshOptAttrSort | MeshOptVertexCache, nullptr,
                                        nullptr, nullptr, nullptr),
                  Status::Ok);
    }
    EXPECT_TRUE(a->SharesBuffersWith(*b));
    EXPECT_EQ(sys.Log().Count("CreateVertexBuffer"), 2u) << "the optimised data was made once";

    const auto original = vertices_of<Pos>(*b);
    std::uint8_t* data = nullptr;
    ASSERT_EQ(a->LockVertexBuffer(0, &data), Status::Ok);
    const float far = 1000;
    std::memcpy(data, &far, sizeof far);
    a->UnlockVertexBuffer();
    EXPECT_FALSE(a->SharesBuffersWith(*b));
    EXPECT_EQ(vertices_of<Pos>(*b), original) << "the other mesh keeps its data";
    EXPECT_EQ(vertices_of<Pos>(*a)[0][0], far);

    // A read-only lock does not copy.
    MeshPtr c;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &c), Status::Ok);
    ASSERT_EQ(c->LockVertexBuffer(gfx::LockReadOnly, &data), Status::Ok);
    c->UnlockVertexBuffer();
    MeshPtr d;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &d), Status::Ok);
    EXPECT_TRUE(c->SharesBuffersWith(*d));
    EXPECT_EQ(parses(), 1u);
}

TEST_F(MeshTest, AChangedFileOrAnotherDeviceIsReadAgain) {
    const std::string file = write("box.x", test::BoxMesh({0, 0, 0}, {1, 1, 1}));
    MeshPtr a, b, c;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &a), Status::Ok);
    write("box.x", test::BoxMesh({0, 0, 0}, {10, 1, 1}));
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &b), Status::Ok);
    EXPECT_EQ(parses(), 2u);
    EXPECT_FALSE(a->SharesBuffersWith(*b));
    EXPECT_EQ(vertices_of<Pos>(*b)[1][0], 10);
    EXPECT_EQ(vertices_of<Pos>(*a)[1][0], 1) << "the earlier mesh keeps what it read";

    gfx::PresentParameters p;
    p.Windowed = true;
    gfx::DevicePtr other;
    ASSERT_EQ(sys.CreateDevice(0, gfx::DevTypeHal, nullptr, 0, &p, &other), Status::Ok);
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, other, nullptr, nullptr, nullptr, &c), Status::Ok);
    EXPECT_EQ(parses(), 3u);
    EXPECT_FALSE(b->SharesBuffersWith(*c));
}

TEST_F(MeshTest, AFailingLockLeavesTheSharedDataAlone) {
    const std::string file = write("box.x", test::BoxMesh({0, 0, 0}, {1, 1, 1}));
    MeshPtr a, b;
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &a), Status::Ok);
    ASSERT_EQ(LoadMeshFromX(file, MeshManaged, device, nullptr, nullptr, nullptr, &b), Status::Ok);
    sys.Control().lock_result = Status::DeviceLost;
    std::uint8_t* data = nullptr;
    EXPECT_NE(a->LockVertexBuffer(0, &data), Status::Ok);
    EXPECT_NE(a->OptimizeInplace(MeshOptAttrSort, nullptr, nullptr, nullptr, nullptr), Status::Ok);
    sys.Control().lock_result = Status::Ok;
    EXPECT_TRUE(a->SharesBuffersWith(*b));
    EXPECT_EQ(a->UnlockVertexBuffer(), Status::InvalidCall) << "the failed lock holds nothing";
}

} // namespace
} // namespace kl::d3dx
