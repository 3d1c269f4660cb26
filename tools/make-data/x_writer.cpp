// Numbers are written with std::to_chars, which ignores the locale, so the text is the same on
// every machine.
#include "x_writer.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace kl::data {

namespace {

class Text {
  public:
    Text& operator<<(const std::string& s) {
        out_ += s;
        return *this;
    }
    Text& operator<<(const char* s) {
        out_ += s;
        return *this;
    }
    Text& num(float v) {
        if (!std::isfinite(v)) throw std::invalid_argument("mesh holds a non-finite number");
        char buf[48];
        auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
        // Tiny negative values round to "-0.000000"; write them as plain zero.
        const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
        const bool zero = text.find_first_not_of("-0.") == std::string_view::npos;
        out_.append(zero && text.front() == '-' ? text.substr(1) : text);
        return *this;
    }
    Text& num(std::size_t v) {
        out_ += std::to_string(v);
        return *this;
    }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

// List separator: "," between elements, ";" after the last one.
const char* sep(std::size_t i, std::size_t n) {
    return i + 1 < n ? "," : ";";
}

void write_faces(Text& t, const Mesh& mesh, const char* indent) {
    t << indent;
    t.num(mesh.faces.size()) << ";\n";
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
        const auto& f = mesh.faces[i];
        t << indent << "3;";
        t.num(std::size_t{f[0]}) << ",";
        t.num(std::size_t{f[1]}) << ",";
        t.num(std::size_t{f[2]}) << ";" << sep(i, mesh.faces.size()) << "\n";
    }
}

void write_colour(Text& t, const ColorValue& c, bool alpha) {
    t.num(c.r) << ";";
    t.num(c.g) << ";";
    t.num(c.b) << ";";
    if (alpha) t.num(c.a) << ";";
    t << ";\n";
}

} // namespace

std::string write_x_text(const Mesh& mesh) {
    if (mesh.faces.size() != mesh.face_materials.size()) throw std::invalid_argument("one material per face");
    Text t;
    t << "xof 0303txt 0032\n\n";
    t << "Mesh " << mesh.name << " {\n";
    const std::size_t nv = mesh.vertices.size();
    t << " ";
    t.num(nv) << ";\n";
    for (std::size_t i = 0; i < nv; ++i) {
        const Vec3& p = mesh.vertices[i].position;
        t << " ";
        t.num(p.x) << ";";
        t.num(p.y) << ";";
        t.num(p.z) << ";" << sep(i, nv) << "\n";
    }
    write_faces(t, mesh, " ");

    t << "\n MeshNormals {\n  ";
    t.num(nv) << ";\n";
    for (std::size_t i = 0; i < nv; ++i) {
        const Vec3& n = mesh.vertices[i].normal;
        t << "  ";
        t.num(n.x) << ";";
        t.num(n.y) << ";";
        t.num(n.z) << ";" << sep(i, nv) << "\n";
    }
    write_faces(t, mesh, "  ");
    t << " }\n";

    t << "\n MeshTextureCoords {\n  ";
    t.num(nv) << ";\n";
    for (std::size_t i = 0; i < nv; ++i) {
        const Vec2& uv = mesh.vertices[i].uv;
        t << "  ";
        t.num(uv.x) << ";";
        t.num(uv.y) << ";" << sep(i, nv) << "\n";
    }
    t << " }\n";

    t << "\n MeshMaterialList {\n  ";
    t.num(mesh.materials.size()) << ";\n  ";
    t.num(mesh.face_materials.size()) << ";\n";
    for (std::size_t i = 0; i < mesh.face_materials.size(); ++i) {
        t << "  ";
        t.num(std::size_t{mesh.face_materials[i]}) << sep(i, mesh.face_materials.size()) << "\n";
    }
    for (const MeshMaterial& m : mesh.materials) {
        t << "\n  Material {\n   ";
        write_colour(t, m.face_colour, true);
        t << "   ";
        t.num(m.power) << ";\n   ";
        write_colour(t, m.specular, false);
        t << "   ";
        write_colour(t, m.emissive, false);
        if (!m.texture.empty()) t << "   TextureFilename { \"" << m.texture << "\"; }\n";
        t << "  }\n";
    }
    t << " }\n}\n";
    return t.take();
}

} // namespace kl::data
