// Sample scenes for the .x reader's tests, benchmark and fuzz seeds.
#include "xfile_writer/sample_scenes.h"

namespace kl::tools {
namespace {

void vector3(XWriter& w, double x, double y, double z, char end = ',') {
    w.Float(x);
    w.Sep(';');
    w.Float(y);
    w.Sep(';');
    w.Float(z);
    w.Sep(';');
    w.Sep(end);
}

void face(XWriter& w, std::initializer_list<std::uint32_t> corners, char end = ',') {
    w.Int(static_cast<std::uint32_t>(corners.size()));
    w.Sep(';');
    std::size_t i = 0;
    for (const std::uint32_t c : corners) {
        w.Int(c);
        w.Sep(++i == corners.size() ? ';' : ',');
    }
    w.Sep(end);
}

void count(XWriter& w, std::uint32_t n) {
    w.Int(n);
    w.Sep(';');
}

void material(XWriter& w, std::string_view name, std::initializer_list<double> rgba, double power,
              std::initializer_list<double> specular, std::initializer_list<double> emissive,
              std::string_view texture) {
    w.Begin("Material", name);
    w.Floats(rgba);
    w.Sep(';');
    w.Float(power);
    w.Sep(';');
    w.Floats(specular);
    w.Sep(';');
    w.Floats(emissive);
    w.Sep(';');
    if (!texture.empty()) {
        w.Begin("TextureFilename");
        w.String(texture);
        w.Sep(';');
        w.End();
    }
    w.End();
}

void matrix(XWriter& w, std::initializer_list<double> m) {
    w.Begin("FrameTransformMatrix");
    std::size_t i = 0;
    for (const double v : m) {
        w.Float(v);
        w.Sep(++i == m.size() ? ';' : ',');
    }
    w.Sep(';');
    w.End();
}

} // namespace

void WriteSampleScene(XWriter& w) {
    w.Template("Vector", {{"FLOAT", "x"}, {"FLOAT", "y"}, {"FLOAT", "z"}}, false);
    w.Template("Widget", {{"DWORD", "count"}}, true);
    material(w, "Red", {1, 0, 0, 1}, 8, {0.5, 0.5, 0.5}, {0, 0, 0}, "");

    w.Begin("Frame", "Root");
    matrix(w, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1});
    w.Begin("Frame", "Child");
    matrix(w, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});

    w.Begin("Mesh", "A");
    count(w, 5);
    vector3(w, 0, 0, 0);
    vector3(w, 1, 0, 0);
    vector3(w, 1, 1, 0);
    vector3(w, 0, 1, 0);
    vector3(w, 0, 0, 1, ';');
    count(w, 2);
    face(w, {0, 1, 2, 3});
    face(w, {0, 3, 4}, ';');
    w.Begin("MeshNormals");
    count(w, 2);
    vector3(w, 0, 0, -1);
    vector3(w, -1, 0, 0, ';');
    count(w, 2);
    face(w, {0, 0, 0, 0});
    face(w, {1, 1, 1}, ';');
    w.End();
    w.Begin("MeshTextureCoords");
    count(w, 5);
    for (const auto& [u, v] : {std::pair{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}}) {
        w.Float(u);
        w.Sep(';');
        w.Float(v);
        w.Sep(';');
        w.Sep(',');
    }
    w.End();
    w.Begin("VertexDuplicationIndices");
    count(w, 5);
    count(w, 5);
    w.Ints({0, 1, 2, 3, 4});
    w.End();
    w.Begin("MeshMaterialList");
    count(w, 2);
    count(w, 2);
    w.Ints({1, 0});
    w.Sep(';');
    w.Ref("Red");
    material(w, "Blue", {0, 0, 1, 1}, 4, {1, 1, 1}, {0, 0, 0}, "Tex\\Wall.BMP");
    w.End();
    w.End(); // Mesh A
    w.End(); // Child

    w.Begin("Mesh", "", true);
    count(w, 5);
    vector3(w, 0, 0, 0);
    vector3(w, 0, 0, 2);
    vector3(w, 2, 0, 2);
    vector3(w, 2, 0, 0);
    vector3(w, 3, 0, 1, ';');
    count(w, 3);
    face(w, {0, 1, 2});
    face(w, {0, 2, 4, 3});
    face(w, {1, 2, 4}, ';');
    w.Begin("MeshNormals");
    count(w, 1);
    vector3(w, 0, 1, 0, ';');
    count(w, 3);
    face(w, {0, 0, 0});
    face(w, {0, 0, 0, 0});
    face(w, {0, 0, 0}, ';');
    w.End();
    w.Begin("MeshMaterialList");
    count(w, 2);
    count(w, 2);
    w.Ints({0, 1});
    w.Sep(';');
    w.Ref("Red");
    material(w, "", {0, 1, 0, 1}, 2, {0, 0, 0}, {0, 0.25, 0}, "");
    w.End();
    w.End(); // Mesh
    w.End(); // Root
}

void WriteGridMesh(XWriter& w, int cols, int rows) {
    const auto vertex = [&](int i, int j) { return static_cast<std::uint32_t>(j * (cols + 1) + i); };
    w.Begin("Frame", "Grid");
    matrix(w, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.5 * cols, 0, -0.5 * rows, 1});
    w.Begin("Mesh", "GridMesh");
    count(w, static_cast<std::uint32_t>((cols + 1) * (rows + 1)));
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= cols; ++i)
            vector3(w, i, 0, j, (i == cols && j == rows) ? ';' : ',');
    }
    const std::uint32_t faces = static_cast<std::uint32_t>(cols * rows);
    count(w, faces);
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            face(w, {vertex(i, j), vertex(i, j + 1), vertex(i + 1, j + 1), vertex(i + 1, j)},
                 (i == cols - 1 && j == rows - 1) ? ';' : ',');
        }
    }
    w.Begin("MeshNormals");
    count(w, 2);
    vector3(w, 0.6, 0.8, 0);
    vector3(w, -0.6, 0.8, 0, ';');
    count(w, faces);
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const std::uint32_t n = static_cast<std::uint32_t>(i % 2);
            face(w, {n, n, n, n}, (i == cols - 1 && j == rows - 1) ? ';' : ',');
        }
    }
    w.End();
    w.Begin("MeshTextureCoords");
    count(w, static_cast<std::uint32_t>((cols + 1) * (rows + 1)));
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= cols; ++i) {
            w.Float(static_cast<double>(i) / cols);
            w.Sep(';');
            w.Float(static_cast<double>(j) / rows);
            w.Sep(';');
            w.Sep(',');
        }
    }
    w.End();
    w.Begin("MeshMaterialList");
    count(w, 2);
    count(w, faces);
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            w.Int(static_cast<std::uint32_t>((i + j) % 2));
            w.Sep(',');
        }
    }
    w.Sep(';');
    material(w, "GridA", {0.8, 0.8, 0.8, 1}, 10, {1, 1, 1}, {0, 0, 0}, "grid_a.bmp");
    material(w, "GridB", {0.2, 0.2, 0.2, 1}, 10, {1, 1, 1}, {0, 0, 0}, "grid_b.bmp");
    w.End();
    w.End(); // Mesh
    w.End(); // Frame
}

} // namespace kl::tools
