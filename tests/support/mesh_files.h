// Small .x text files for the mesh tests: positions, triangles, optional normals and texture pairs,
// and a material list with texture names.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kl::test {

struct TestMaterial {
    std::array<float, 4> diffuse{1, 1, 1, 1};
    float power = 0;
    std::array<float, 3> specular{0, 0, 0}, emissive{0, 0, 0};
    std::string texture; // none when empty
};

struct TestMesh {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<std::uint32_t, 3>> faces;
    std::vector<std::array<float, 3>> normals;   // one per position, or none
    std::vector<std::array<float, 2>> texcoords; // one per position, or none
    std::vector<std::uint32_t> subsets;          // one per face
    std::vector<TestMaterial> materials;         // no material list when empty
};

inline std::string XText(const TestMesh& m) {
    std::ostringstream o;
    o << "xof 0303txt 0032\nMesh {\n" << m.positions.size() << ";\n";
    for (std::size_t i = 0; i < m.positions.size(); ++i)
        o << m.positions[i][0] << ";" << m.positions[i][1] << ";" << m.positions[i][2] << ";"
          << (i + 1 < m.positions.size() ? "," : ";") << "\n";
    if (m.positions.empty()) o << ";\n";
    auto faces = [&o](const std::vector<std::array<std::uint32_t, 3>>& fs) {
        o << fs.size() << ";\n";
        for (std::size_t i = 0; i < fs.size(); ++i)
            o << "3;" << fs[i][0] << "," << fs[i][1] << "," << fs[i][2] << ";"
              << (i + 1 < fs.size() ? "," : ";") << "\n";
        if (fs.empty()) o << ";\n";
    };
    faces(m.faces);
    if (!m.normals.empty()) {
        o << "MeshNormals {\n" << m.normals.size() << ";\n";
        for (std::size_t i = 0; i < m.normals.size(); ++i)
            o << m.normals[i][0] << ";" << m.normals[i][1] << ";" << m.normals[i][2] << ";"
              << (i + 1 < m.normals.size() ? "," : ";") << "\n";
        faces(m.faces);
        o << "}\n";
    }
    if (!m.texcoords.empty()) {
        o << "MeshTextureCoords {\n" << m.texcoords.size() << ";\n";
        for (std::size_t i = 0; i < m.texcoords.size(); ++i)
            o << m.texcoords[i][0] << ";" << m.texcoords[i][1] << ";"
              << (i + 1 < m.texcoords.size() ? "," : ";") << "\n";
        o << "}\n";
    }
    if (!m.materials.empty()) {
        o << "MeshMaterialList {\n" << m.materials.size() << ";\n" << m.subsets.size() << ";\n";
        for (std::size_t i = 0; i < m.subsets.size(); ++i)
            o << m.subsets[i] << (i + 1 < m.subsets.size() ? "," : ";") << "\n";
        if (m.subsets.empty()) o << ";\n";
        for (const TestMaterial& t : m.materials) {
            o << "Material {\n"
              << t.diffuse[0] << ";" << t.diffuse[1] << ";" << t.diffuse[2] << ";" << t.diffuse[3] << ";;\n"
              << t.power << ";\n"
              << t.specular[0] << ";" << t.specular[1] << ";" << t.specular[2] << ";;\n"
              << t.emissive[0] << ";" << t.emissive[1] << ";" << t.emissive[2] << ";;\n";
            if (!t.texture.empty()) o << "TextureFilename {\n\"" << t.texture << "\";\n}\n";
            o << "}\n";
        }
        o << "}\n";
    }
    o << "}\n";
    return o.str();
}

inline void WriteXFile(const std::filesystem::path& path, const TestMesh& m) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << XText(m);
}

// A box from low to high: 8 corners, 12 triangles, all in subset 0 with one plain material.
inline TestMesh BoxMesh(std::array<float, 3> low, std::array<float, 3> high) {
    TestMesh m;
    for (int i = 0; i < 8; ++i)
        m.positions.push_back(
            {(i & 1) ? high[0] : low[0], (i & 2) ? high[1] : low[1], (i & 4) ? high[2] : low[2]});
    m.faces = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 4, 6}, {0, 6, 2},
               {1, 3, 7}, {1, 7, 5}, {0, 1, 5}, {0, 5, 4}, {2, 6, 7}, {2, 7, 3}};
    m.subsets.assign(m.faces.size(), 0);
    m.materials.push_back({});
    return m;
}

// A strip of squares along z, 4 wide and 10 long, the texture starting afresh on each as on the road
// strips: two repeats a square, so each square carries on the mapping of the one before, a whole
// number apart.
inline TestMesh StripOfSquares(int squares, const std::string& texture) {
    TestMesh m;
    for (int i = 0; i < squares; ++i) {
        const auto first = static_cast<std::uint32_t>(m.positions.size());
        const float z0 = 10.0f * float(i), z1 = z0 + 10;
        m.positions.insert(m.positions.end(), {{-2, 0, z1}, {2, 0, z1}, {2, 0, z0}, {-2, 0, z0}});
        m.texcoords.insert(m.texcoords.end(), {{0, 2}, {1, 2}, {1, 0}, {0, 0}});
        m.faces.insert(m.faces.end(), {{first, first + 1, first + 2}, {first, first + 2, first + 3}});
        m.subsets.insert(m.subsets.end(), {0, 0});
    }
    m.normals.assign(m.positions.size(), {0, 1, 0});
    m.materials = {{{1, 1, 1, 1}, 0, {}, {}, texture}};
    return m;
}

} // namespace kl::test
