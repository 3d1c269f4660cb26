// The mesh object on the OpenGL back-end: drawn, read back, carried through a real device reset and
// drawn again with the same bytes, bound points and pixels; and placed objects drawn from batches.
#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "platform/gfx/gl/gl_backend.h"
#include "resources/cls3d_object.h"
#include "resources/moving_batch.h"
#include "resources/scene_textures.h"
#include "resources/static_batch.h"
#include "support/gl_test_environment.h"
#include "support/image_files.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace kl {
namespace {

constexpr int kWidth = 128, kHeight = 96;

// A red quad left and a blue one right of the centre, facing a camera on the -z side.
test::TestMesh two_quads() {
    test::TestMesh m;
    m.positions = {{-2, -0.5f, 0}, {-2, 0.5f, 0}, {-1, 0.5f, 0}, {-1, -0.5f, 0},
                   {1, -0.5f, 0},  {1, 0.5f, 0},  {2, 0.5f, 0},  {2, -0.5f, 0}};
    m.faces = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}};
    m.normals.assign(8, {0, 0, -1});
    m.subsets = {0, 0, 1, 1};
    m.materials = {{{1, 0, 0, 1}, 0, {}, {}, ""}, {{0, 0, 1, 1}, 0, {}, {}, ""}};
    return m;
}

// A unit cube, each face with its own corners and normal, x faces red, y faces green, z faces blue,
// wound like every model (clockwise seen from outside).
// A unit cube, each face split into tiles x tiles squares; faces across x, y and z in materials 0,
// 1 and 2. With a speck, a triangle a hundredth across stands on a corner in material 3.
test::TestMesh coloured_cube(int tiles = 1, bool speck = false) {
    test::TestMesh m;
    const float step = 1.0f / float(tiles);
    for (int d = 0; d < 6; ++d) {
        const int axis = d / 2, u = (axis + 1) % 3, w = (axis + 2) % 3;
        const float side = d % 2 ? 0.5f : -0.5f;
        for (int tu = 0; tu < tiles; ++tu) {
            for (int tw = 0; tw < tiles; ++tw) {
                std::array<std::array<float, 3>, 4> c{};
                for (int k = 0; k < 4; ++k) {
                    c[std::size_t(k)][std::size_t(axis)] = side;
                    c[std::size_t(k)][std::size_t(u)] = -0.5f + step * float(tu + ((k == 1 || k == 2) ? 1 : 0));
                    c[std::size_t(k)][std::size_t(w)] = -0.5f + step * float(tw + (k >= 2 ? 1 : 0));
                }
                // (b - a) x (c - a) must point out of the cube.
                const auto cross_along = [&](int i, int j, int k) {
                    float e1[3], e2[3];
                    for (int q = 0; q < 3; ++q) {
                        e1[q] = c[std::size_t(j)][std::size_t(q)] - c[std::size_t(i)][std::size_t(q)];
                        e2[q] = c[std::size_t(k)][std::size_t(q)] - c[std::size_t(i)][std::size_t(q)];
                    }
                    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                        e1[0] * e2[1] - e1[1] * e2[0]};
                    return n[axis] * side;
                };
                const auto first = static_cast<std::uint32_t>(m.positions.size());
                for (const auto& p : c) {
                    m.positions.push_back(p);
                    std::array<float, 3> n{0, 0, 0};
                    n[std::size_t(axis)] = side * 2;
                    m.normals.push_back(n);
                }
                if (cross_along(0, 1, 2) > 0)
                    m.faces.insert(m.faces.end(), {{first, first + 1, first + 2}, {first, first + 2, first + 3}});
                else
                    m.faces.insert(m.faces.end(), {{first, first + 2, first + 1}, {first, first + 3, first + 2}});
                m.subsets.insert(m.subsets.end(), {std::uint32_t(axis), std::uint32_t(axis)});
            }
        }
    }
    m.materials = {{{1, 0.2f, 0.2f, 1}, 0, {}, {}, ""},
                   {{0.2f, 1, 0.2f, 1}, 0, {}, {}, ""},
                   {{0.2f, 0.2f, 1, 1}, 0, {}, {}, ""}};
    if (speck) {
        const auto first = static_cast<std::uint32_t>(m.positions.size());
        m.positions.insert(m.positions.end(), {{0.5f, 0.5f, -0.51f}, {0.49f, 0.5f, -0.51f}, {0.5f, 0.49f, -0.51f}});
        m.normals.insert(m.normals.end(), 3, {0, 0, -1});
        m.faces.push_back({first, first + 1, first + 2});
        m.subsets.push_back(3);
        m.materials.push_back({{1, 1, 1, 1}, 0, {}, {}, ""});
    }
    return m;
}

int channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

double luma(std::uint32_t c) {
    return 0.299 * channel(c, 16) + 0.587 * channel(c, 8) + 0.114 * channel(c, 0);
}

// A floor from x -100 to 100 and z 0 to 400 at y 0, seen from above, one texture repeat every 16
// units.
test::TestMesh textured_floor(const std::string& texture) {
    test::TestMesh m;
    m.positions = {{-100, 0, 0}, {-100, 0, 400}, {100, 0, 400}, {100, 0, 0}};
    m.faces = {{0, 1, 2}, {0, 2, 3}};
    m.normals.assign(4, {0, 1, 0});
    m.texcoords = {{-6.25f, 0}, {-6.25f, 25}, {6.25f, 25}, {6.25f, 0}};
    m.subsets = {0, 0};
    m.materials = {{{1, 1, 1, 1}, 0, {}, {}, texture}};
    return m;
}

class MeshObjectOnGl : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window_ = gfx::CreateRenderWindow("mesh test", kWidth, kHeight, true);
        if (window_ == nullptr) GTEST_SKIP() << "no display of any kind";
        aspect_ = "1,333";
        engine_ = std::make_unique<cls3dEngine>();
        engine_->SetAspectRatioSource(&aspect_);
        ASSERT_TRUE(engine_->Initialize(window_));
        mode_ = {kWidth, kHeight, FmtX8R8G8B8};
        ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
        mdlKl::ClearSceneTextures();
    }
    // A square texture of size x size RGB texels, written as a BMP file and loaded as the scene loads
    // its textures (the whole chain, no colour key) into entry 5 of the scene's table, named name.
    bool load_scene_texture(const std::string& name, int size, const std::vector<std::uint8_t>& texels) {
        const auto image = dir_.path() / name;
        const std::vector<std::uint8_t> bmp = test::EncodeBmp(size, size, 3, texels);
        std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()),
                                                     static_cast<std::streamsize>(bmp.size()));
        mdlKl::Textures[5] = mdlMain::TextureFromFile(image.string(), 0, 0, false);
        mdlKl::TextureNames[5] = name;
        return mdlKl::Textures[5] != nullptr;
    }
    // One frame on a dark green ground, seen from eye towards at, of what draw draws: its pixels.
    std::vector<std::uint32_t> frame_of(const Vec3& eye, const Vec3& at, const std::function<void()>& draw) {
        cls3dEngine& e = *engine_;
        e.RenderStart({0, 0}, {0, 0});
        e.RenderClear(true, mdlMain::ColorRGB(0, 64, 0), true, false);
        e.SetCamera(eye, at, 0);
        draw();
        std::vector<std::uint32_t> pixels = gfx::ReadBackBuffer(*e.Device(), 0, 0, kWidth, kHeight);
        e.RenderEnd();
        e.RenderShow();
        return pixels;
    }
    void TearDown() override {
        d3dx::ClearMeshFileCache();
        engine_.reset();
        if (window_ != nullptr) gfx::DestroyRenderWindow(window_);
    }

    std::vector<std::uint32_t> draw(cls3dObject& object) {
        cls3dEngine& e = *engine_;
        e.RenderStart({0, 0}, {0, 0});
        e.RenderClear(true, mdlMain::ColorRGB(0, 64, 0), true, false);
        e.SetCamera({0, 0, -6}, {0, 0, 0}, 0);
        object.Render();
        std::vector<std::uint32_t> pixels = gfx::ReadBackBuffer(*e.Device(), 0, 0, kWidth, kHeight);
        e.RenderEnd();
        e.RenderShow();
        return pixels;
    }

    // Vertex, index and subset-number bytes, one after the other.
    std::vector<std::uint8_t> mesh_bytes(const cls3dObject& object) {
        auto* mesh = const_cast<d3dx::Mesh*>(object.GetMesh());
        std::vector<std::uint8_t> out;
        std::uint8_t* data = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(gfx::LockReadOnly, &data), gfx::Status::Ok);
        out.insert(out.end(), data,
                   data + std::size_t{mesh->GetNumVertices()} * d3dx::GetFVFVertexSize(mesh->GetFVF()));
        mesh->UnlockVertexBuffer();
        EXPECT_EQ(mesh->LockIndexBuffer(gfx::LockReadOnly, &data), gfx::Status::Ok);
        out.insert(out.end(), data, data + std::size_t{mesh->GetNumFaces()} * 6);
        mesh->UnlockIndexBuffer();
        d3dx::Dword* attributes = nullptr;
        EXPECT_EQ(mesh->LockAttributeBuffer(gfx::LockReadOnly, &attributes), gfx::Status::Ok);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(attributes);
        out.insert(out.end(), bytes, bytes + std::size_t{mesh->GetNumFaces()} * 4);
        mesh->UnlockAttributeBuffer();
        return out;
    }

    test::TempDir dir_;
    platform::WindowHandle window_ = nullptr;
    FixedText<7> aspect_;
    std::unique_ptr<cls3dEngine> engine_;
    DisplayMode mode_;
};

TEST_F(MeshObjectOnGl, ADeviceResetGivesBackTheSameMeshAndPixels) {
    const auto file = dir_.path() / "quads.x";
    test::WriteXFile(file, two_quads());
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(file.string(), 1));
    const std::vector<std::uint32_t> before = draw(object);
    ASSERT_EQ(before.size(), std::size_t{kWidth * kHeight});
    auto at = [](const std::vector<std::uint32_t>& image, int x, int y) {
        return image[std::size_t(y * kWidth + x)];
    };

    // Untextured materials glow in their own colour; the back of the scene stays clear.
    const std::uint32_t left = at(before, 35, 48), right = at(before, 93, 48), middle = at(before, 64, 48);
    EXPECT_GT(channel(left, 16), 200);
    EXPECT_LT(channel(left, 0), 40);
    EXPECT_GT(channel(right, 0), 200);
    EXPECT_LT(channel(right, 16), 40);
    EXPECT_EQ(channel(middle, 8), 64) << "nothing drawn between the quads";

    const std::vector<std::uint8_t> bytes = mesh_bytes(object);
    ASSERT_EQ(bytes.size(), 8u * 24 + 4 * 6 + 4 * 4);
    const Vec3 low = object.GetLowPoint(), high = object.GetHighPoint(), mid = object.GetMidPoint();
    const d3dx::Mesh* old_mesh = object.GetMesh();

    // A mode change resets the device: the object is stored, released and rebuilt.
    ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
    ASSERT_NE(object.GetMesh(), nullptr);
    EXPECT_NE(object.GetMesh(), old_mesh) << "a new mesh was built";
    EXPECT_EQ(mesh_bytes(object), bytes);
    EXPECT_TRUE(object.GetLowPoint() == low);
    EXPECT_TRUE(object.GetHighPoint() == high);
    EXPECT_TRUE(object.GetMidPoint() == mid);
    EXPECT_EQ(draw(object), before);

    // A later load of the same file draws from the buffers read before the reset, which the
    // platform brought back by itself.
    const std::size_t parses = d3dx::MeshFileParses();
    cls3dObject again;
    ASSERT_TRUE(again.LoadFromFile(file.string(), 1));
    EXPECT_EQ(d3dx::MeshFileParses(), parses);
    EXPECT_EQ(draw(again), before);
}

// A floor textured with a checker of single black and white texels, seen with the eye one unit
// above it: just below the horizon a pixel covers dozens of texels. Sampled from the texture's mip
// chain it shows their mean, an even grey; sampled from the top level alone it shows whichever
// texels the pixel centres hit, a noise that crawls as the eye moves. Near the eye, where a texel
// covers a pixel or more, the checker stays as sharp as before.
TEST_F(MeshObjectOnGl, AFarTexturedFloorShowsTheMeanOfItsTexelsRatherThanNoise) {
    constexpr int kSize = 64;
    std::vector<std::uint8_t> checker(std::size_t{kSize} * kSize * 3);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            for (int c = 0; c < 3; ++c)
                checker[std::size_t((y * kSize + x) * 3 + c)] = (x + y) % 2 ? 255 : 0;
    ASSERT_TRUE(load_scene_texture("checker.bmp", kSize, checker));
    ASSERT_GT(mdlKl::Textures[5]->GetLevelCount(), 1u);
    const auto file = dir_.path() / "floor.x";
    test::WriteXFile(file, textured_floor("checker.bmp"));
    cls3dObject floor;
    ASSERT_TRUE(floor.LoadFromFile(file.string(), 1));

    cls3dEngine& e = *engine_;
    e.RenderStart({0, 0}, {0, 0});
    e.RenderClear(true, mdlMain::ColorRGB(0, 64, 0), true, false);
    e.SetCamera({0, 1, 0}, {0, 1, 1}, 0);
    floor.Render();
    const std::vector<std::uint32_t> pixels = gfx::ReadBackBuffer(*e.Device(), 0, 0, kWidth, kHeight);
    e.RenderEnd();
    e.RenderShow();
    mdlKl::ClearSceneTextures();
    ASSERT_EQ(pixels.size(), std::size_t{kWidth * kHeight});
    const auto at = [&](int x, int y) { return luma(pixels[std::size_t(y * kWidth + x)]); };

    // Rows 49 to 54 see the floor from about 75 to 18 units away, a pixel spanning 200 to 12
    // texels; the horizon is row 48.
    double step = 0, mean = 0;
    int steps = 0, count = 0;
    for (int y = 49; y < 55; ++y)
        for (int x = 0; x + 1 < kWidth; ++x) {
            step += std::fabs(at(x + 1, y) - at(x, y)) + std::fabs(at(x, y + 1) - at(x, y));
            steps += 2;
            mean += at(x, y);
            ++count;
        }
    step /= steps;
    mean /= count;
    EXPECT_NEAR(mean, 127.5, 16) << "the far floor shows the texels' mean";
    EXPECT_LT(step, 3.0) << "the far floor is an even grey, not noise";
    // The bottom rows, a few units away: the checker keeps its contrast.
    double low = 255, high = 0;
    for (int y = kHeight - 12; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            low = std::min(low, at(x, y));
            high = std::max(high, at(x, y));
        }
    EXPECT_GT(high - low, 150) << "the near floor keeps its checker";
}

// Objects moved into place once and drawn from one batch must look as when each is drawn with its
// own transform: the corners land a rounding step apart at most, so edge pixels may differ.
TEST_F(MeshObjectOnGl, ObjectsDrawnFromABatchLookAsWhenDrawnOneByOne) {
    const auto file = dir_.path() / "quads.x";
    test::WriteXFile(file, two_quads());
    std::vector<std::unique_ptr<cls3dObject>> objects;
    std::vector<cls3dObject*> pointers;
    for (const Vec3& at : {Vec3{0, 1.2f, 4}, Vec3{0, -1.2f, 4}, Vec3{0.5f, 0, 1}}) {
        objects.push_back(std::make_unique<cls3dObject>());
        ASSERT_TRUE(objects.back()->LoadFromFile(file.string(), 1));
        objects.back()->Position(at);
        pointers.push_back(objects.back().get());
    }
    StaticBatch batch;
    ASSERT_TRUE(batch.Build(pointers));

    const auto frame = [&](bool batched) {
        return frame_of({0, 0, -6}, {0, 0, 0}, [&] {
            if (batched)
                batch.Draw({1, 1, 1});
            else
                for (std::int32_t j = 0; j < 2; ++j)
                    for (cls3dObject* o : pointers)
                        o->RenderSubset(j);
        });
    };
    const std::vector<std::uint32_t> one_by_one = frame(false), batched = frame(true);
    ASSERT_EQ(batched.size(), one_by_one.size());
    EXPECT_EQ(batch.LastDrawCalls(), 2u) << "one call per subset";
    int red = 0, blue = 0, differing = 0;
    for (std::size_t i = 0; i < batched.size(); ++i) {
        red += channel(batched[i], 16) > 200;
        blue += channel(batched[i], 0) > 200;
        differing += batched[i] != one_by_one[i];
    }
    EXPECT_GT(red, 300);
    EXPECT_GT(blue, 300);
    EXPECT_LE(differing, int(batched.size() / 100)) << differing << " pixels differ: edge pixels at most";

    // A device reset keeps the batch's buffers.
    ASSERT_TRUE(engine_->SetRes(&mode_, 0, true));
    EXPECT_TRUE(batch.Ready());
    EXPECT_EQ(frame(true), batched);
}

// Merged into one long quad, a strip of squares must look as when drawn square by square, from the
// near squares to the horizon: the texture carried on along the quad samples the texels each square
// would.
TEST_F(MeshObjectOnGl, AStripOfSquaresMergedIntoOneQuadLooksAsWhenDrawnSquareBySquare) {
    constexpr int kSize = 8;
    std::vector<std::uint8_t> texels(std::size_t{kSize} * kSize * 3);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const std::size_t at = std::size_t((y * kSize + x) * 3);
            texels[at] = std::uint8_t(x * 32);
            texels[at + 1] = std::uint8_t(y * 32);
            texels[at + 2] = std::uint8_t((x + y) % 2 * 255);
        }
    ASSERT_TRUE(load_scene_texture("squares.bmp", kSize, texels));
    const auto file = dir_.path() / "strip.x";
    test::WriteXFile(file, test::StripOfSquares(40, "squares.bmp"));
    cls3dObject strip;
    ASSERT_TRUE(strip.LoadFromFile(file.string(), 1));
    StaticBatch batch;
    ASSERT_TRUE(batch.Build({&strip}, 0, true));

    const auto frame = [&](bool merged) {
        return frame_of({0.5f, 1.5f, -3}, {0, 0, 30}, [&] {
            if (merged)
                batch.Draw({1});
            else
                strip.Render();
        });
    };
    const std::vector<std::uint32_t> squares = frame(false), merged = frame(true);
    mdlKl::ClearSceneTextures();
    ASSERT_EQ(merged.size(), squares.size());
    const std::uint32_t background = squares.front();
    int strip_pixels = 0, differing = 0;
    for (std::size_t i = 0; i < merged.size(); ++i) {
        if (squares[i] == background) continue;
        ++strip_pixels;
        for (int shift : {0, 8, 16})
            if (std::abs(channel(merged[i], shift) - channel(squares[i], shift)) > 8) {
                ++differing;
                break;
            }
    }
    EXPECT_GT(strip_pixels, kWidth * kHeight / 10);
    EXPECT_LE(differing, strip_pixels / 100) << differing << " of " << strip_pixels << " pixels differ";
}

// Turned and moved cubes drawn from the moving batch must look as when each is drawn with its own
// transform: the corners land a rounding step apart, so edge pixels may differ, and a lit face keeps
// its colour; the triangles the batch leaves out as turned away from the eye would not have shown.
// As boxes (the form of vehicles a pixel or two across), cubes are their own boxes and must look the
// same too: each face takes the material that faces its way, and the faces turned away from the eye,
// which the batch leaves out, would not have shown. In the coarse forms (vehicles a few pixels
// across) the faces' many squares merge into a few, and only the cubes' edges may move, by less than
// half a cell.
TEST_F(MeshObjectOnGl, MovingObjectsDrawnFromABatchOrInReducedFormsLookAsWhenDrawnOneByOne) {
    const auto file = dir_.path() / "cube.x";
    test::WriteXFile(file, coloured_cube(30, true));
    std::vector<std::unique_ptr<cls3dObject>> objects;
    for (int i = 0; i < 6; ++i) {
        objects.push_back(std::make_unique<cls3dObject>());
        ASSERT_TRUE(objects.back()->LoadFromFile(file.string(), 1));
        const Vec3 at{-2.5f + float(i % 3) * 2.5f, i < 3 ? 1.1f : -1.1f, float(i)};
        objects.back()->Position(at);
        objects.back()->SetRotation({0.3f + 0.5f * float(i), 0.7f * float(i), 0.2f}, {1, 2, 3}, at);
    }
    gfx::Light light;
    light.Diffuse = {1, 1, 1, 1};
    light.Ambient = {0.2f, 0.2f, 0.2f, 1};
    light.Direction = {0.4f, -0.5f, 0.75f};
    ASSERT_TRUE(engine_->SetLight(0, light));

    MovingBatch batch;
    // 0 one by one, 1 batched, 2 batched as boxes, 3 coarse, 4 fine
    const Detail forms[] = {Detail::Full, Detail::Full, Detail::Box, Detail::Coarse, Detail::Fine};
    const auto frame = [&](int how) {
        return frame_of({0, 0, -8}, {0, 0, 0}, [&] {
            batch.Begin();
            for (auto& o : objects) {
                if (how == 0)
                    o->Render();
                else
                    EXPECT_TRUE(batch.Add(*o, forms[how]));
            }
            batch.Draw();
        });
    };
    const std::vector<std::uint32_t> one_by_one = frame(0);
    std::size_t full_vertices = 0, coarse_vertices = 0;
    for (int how : {1, 2, 3, 4}) {
        const std::vector<std::uint32_t> batched = frame(how);
        ASSERT_EQ(batched.size(), one_by_one.size());
        EXPECT_EQ(batch.LastDrawnObjects().size(), objects.size());
        if (how == 1) {
            EXPECT_EQ(batch.LastDrawCalls(), 4u) << "a call per subset";
            full_vertices = batch.LastVertices();
            // At most three faces of a cube (900 squares of 4 corners each) and the speck turn to the
            // eye; the batch leaves the others out, as the device would cull them.
            EXPECT_LE(full_vertices, objects.size() * (3 * 900 * 4 + 3));
        } else if (how >= 3) {
            EXPECT_EQ(batch.LastDrawCalls(), 3u) << "a call per subset but the speck's, left without triangles";
            EXPECT_EQ(batch.LastCoarseObjects(), objects.size());
            EXPECT_LT(batch.LastVertices() * 2, full_vertices) << "a coarse form saves most vertices";
            if (how == 3) {
                coarse_vertices = batch.LastVertices();
            } else {
                EXPECT_GT(batch.LastVertices(), coarse_vertices)
                    << "the fine form keeps more than the coarse";
            }
        } else {
            // At most three faces of a box turn to the eye; the others are left out, as the device
            // would cull them.
            EXPECT_LE(batch.LastDrawCalls(), 6u) << "a call per face of the box";
            EXPECT_LE(batch.LastVertices(), objects.size() * 3 * 4);
        }
        EXPECT_EQ(batch.LastReducedObjects(), how == 2 ? objects.size() : 0u);
        int drawn = 0, differing = 0, off_colour = 0;
        for (int y = 1; y + 1 < kHeight; ++y) {
            for (int x = 1; x + 1 < kWidth; ++x) {
                const std::size_t i = std::size_t(y * kWidth + x);
                drawn += channel(one_by_one[i], 8) != 64 || channel(one_by_one[i], 16) != 0;
                differing += batched[i] != one_by_one[i];
                // Inside a face (its neighbours all alike), the colour is the face's own.
                bool inside = true;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        inside =
                            inside && one_by_one[std::size_t((y + dy) * kWidth + x + dx)] == one_by_one[i];
                if (!inside) continue;
                for (int shift : {0, 8, 16})
                    off_colour += std::abs(channel(batched[i], shift) - channel(one_by_one[i], shift)) > 2;
            }
        }
        EXPECT_GT(drawn, 1000) << "the cubes fill a good part of the picture";
        // A coarse form's edges may move by half a cell, here about a pixel: the cubes' outlines.
        const int most_differing = int(one_by_one.size() / (how >= 3 ? 25 : 100));
        EXPECT_LE(differing, most_differing) << differing << " pixels differ (" << how << ")";
        EXPECT_EQ(off_colour, 0) << "lit faces keep their colour (" << how << ")";
    }

    // Handed over to the device form by form, the scene ended and begun again after each: the same
    // picture, and the frame's scene open again for its end.
    const auto mixed = [&](std::size_t hand_over_every) {
        return frame_of({0, 0, -8}, {0, 0, 0}, [&] {
            batch.Begin();
            for (std::size_t i = 0; i < objects.size(); ++i)
                EXPECT_TRUE(batch.Add(*objects[i], i % 2 ? Detail::Box : Detail::Full));
            batch.Draw(hand_over_every);
            EXPECT_EQ(engine_->Device()->EndScene(), gfx::Status::Ok) << "the scene is open";
            EXPECT_EQ(engine_->Device()->BeginScene(), gfx::Status::Ok);
        });
    };
    EXPECT_EQ(mixed(1), mixed(0));

    // An object whose materials change is drawn with its new ones, not those it was matched by
    // before: a model of its own.
    objects[0]->SetTransparency(128);
    frame(1);
    EXPECT_GT(batch.LastDrawCalls(), 4u) << "the calls of a second model";
}

} // namespace
} // namespace kl
