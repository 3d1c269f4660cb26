// Reads back the .x text the generator writes, strictly enough to catch a wrong count, a missing
// separator or an unbalanced brace; the program's own loader is tested elsewhere.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kl::test {

struct ScannedMaterial {
    std::array<float, 4> face_colour{};
    float power = 0;
    std::array<float, 3> specular{}, emissive{};
    std::string texture;
};

struct ScannedX {
    std::string header;
    std::vector<std::array<float, 3>> positions, normals;
    std::vector<std::array<std::uint32_t, 3>> faces, normal_faces;
    std::vector<std::array<float, 2>> uvs;
    std::vector<std::uint32_t> face_materials;
    std::vector<ScannedMaterial> materials;
};

class XScanner {
  public:
    explicit XScanner(std::string text) : s_(std::move(text)) {}

    ScannedX scan() {
        ScannedX x;
        const auto eol = s_.find('\n');
        if (eol == std::string::npos) fail("no header line");
        x.header = s_.substr(0, eol);
        pos_ = eol + 1;
        word("Mesh");
        ident();
        open();
        const auto nv = count();
        for (std::size_t i = 0; i < nv; ++i)
            x.positions.push_back({num(), num(), num()}), end_element(i, nv);
        read_faces(x.faces);
        word("MeshNormals");
        open();
        const auto nn = count();
        for (std::size_t i = 0; i < nn; ++i)
            x.normals.push_back({num(), num(), num()}), end_element(i, nn);
        read_faces(x.normal_faces);
        close();
        word("MeshTextureCoords");
        open();
        const auto nt = count();
        for (std::size_t i = 0; i < nt; ++i)
            x.uvs.push_back({num(), num()}), end_element(i, nt);
        close();
        word("MeshMaterialList");
        open();
        const auto nm = count(), nf = count();
        for (std::size_t i = 0; i < nf; ++i) {
            x.face_materials.push_back(integer());
            punct(i + 1 < nf ? ',' : ';');
        }
        for (std::size_t i = 0; i < nm; ++i)
            x.materials.push_back(material());
        close();
        close();
        skip_space();
        if (pos_ != s_.size()) fail("text after the mesh");
        return x;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(what + " at offset " + std::to_string(pos_));
    }
    void skip_space() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    void punct(char c) {
        skip_space();
        if (pos_ >= s_.size() || s_[pos_] != c) fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    void open() { punct('{'); }
    void close() { punct('}'); }
    std::string ident() {
        skip_space();
        const std::size_t start = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
            ++pos_;
        if (start == pos_) fail("expected a name");
        return s_.substr(start, pos_ - start);
    }
    void word(const std::string& w) {
        if (ident() != w) fail("expected " + w);
    }
    // A number and the ';' that ends it.
    float num() {
        skip_space();
        std::size_t used = 0;
        const float v = std::stof(s_.substr(pos_, 32), &used);
        if (used == 0) fail("expected a number");
        pos_ += used;
        punct(';');
        return v;
    }
    std::size_t count() { return static_cast<std::size_t>(num()); }
    // An integer list element, without its separator.
    std::uint32_t integer() {
        skip_space();
        std::size_t used = 0;
        const auto v = static_cast<std::uint32_t>(std::stoul(s_.substr(pos_, 16), &used));
        pos_ += used;
        return v;
    }
    void end_element(std::size_t i, std::size_t n) { punct(i + 1 < n ? ',' : ';'); }
    void read_faces(std::vector<std::array<std::uint32_t, 3>>& out) {
        const auto nf = count();
        for (std::size_t i = 0; i < nf; ++i) {
            if (count() != 3) fail("face with other than three corners");
            std::array<std::uint32_t, 3> f{};
            for (int k = 0; k < 3; ++k) {
                f[static_cast<std::size_t>(k)] = integer();
                punct(k < 2 ? ',' : ';');
            }
            out.push_back(f);
            end_element(i, nf);
        }
    }
    ScannedMaterial material() {
        ScannedMaterial m;
        word("Material");
        open();
        for (float& c : m.face_colour)
            c = num();
        punct(';');
        m.power = num();
        for (float& c : m.specular)
            c = num();
        punct(';');
        for (float& c : m.emissive)
            c = num();
        punct(';');
        skip_space();
        if (s_.compare(pos_, 15, "TextureFilename") == 0) {
            word("TextureFilename");
            open();
            punct('"');
            const std::size_t end = s_.find('"', pos_);
            if (end == std::string::npos) fail("unterminated texture name");
            m.texture = s_.substr(pos_, end - pos_);
            pos_ = end + 1;
            punct(';');
            close();
        }
        close();
        return m;
    }

    std::string s_;
    std::size_t pos_ = 0;
};

} // namespace kl::test
