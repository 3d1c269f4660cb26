// Parser of .x data objects. Separators between values are taken leniently (writers differ in where
// they put "," and ";"), but every count is checked against the data that remains before anything
// is reserved for it, and every index against what it refers to.
#include "platform/d3dx/xfile/xfile_parser.h"

#include <map>
#include <string>
#include <string_view>

namespace kl::platform::xfile {
namespace {

std::string describe(const Token& t) {
    switch (t.kind) {
    case TokenKind::End:
        return "end of data";
    case TokenKind::Name:
        return "name '" + std::string(t.text) + "'";
    case TokenKind::String:
        return "string";
    case TokenKind::Integer:
    case TokenKind::Float:
        return "number";
    case TokenKind::Guid:
        return "GUID";
    case TokenKind::OpenBrace:
        return "'{'";
    case TokenKind::CloseBrace:
        return "'}'";
    case TokenKind::Comma:
        return "','";
    case TokenKind::Semicolon:
        return "';'";
    case TokenKind::Template:
        return "template";
    case TokenKind::Other:
        break;
    }
    return "punctuation";
}

bool is_separator(const Token& t) {
    return t.kind == TokenKind::Comma || t.kind == TokenKind::Semicolon;
}

class Parser {
  public:
    explicit Parser(TokenSource& tokens) : ts_(tokens) {}

    RawScene Run() {
        for (;;) {
            const Token t = ts_.Next();
            switch (t.kind) {
            case TokenKind::End:
                return std::move(scene_);
            case TokenKind::Template:
                SkipTemplate();
                break;
            case TokenKind::Name:
                Child(t, -1, 0);
                break;
            case TokenKind::OpenBrace:
                SkipBody(1); // a reference at the top carries nothing for us
                break;
            case TokenKind::Comma:
            case TokenKind::Semicolon:
                break;
            default:
                Fail(t.offset, "unexpected " + describe(t) + " outside any object");
            }
        }
    }

  private:
    // A child object whose type name was just read: its optional name and GUID, then "{". Known
    // types are parsed, the rest skipped. frame is the enclosing frame, depth the enclosing nesting.
    void Child(const Token& type, int frame, int depth) {
        const std::string_view name = OpenObject(type, depth + 1);
        if (type.text == "Frame") {
            ParseFrame(frame, depth + 1);
        } else if (type.text == "Mesh") {
            ParseMesh(frame, depth + 1);
        } else if (type.text == "Material") {
            ParseMaterial(name, depth + 1);
        } else {
            SkipBody(depth + 1);
        }
    }

    std::string_view OpenObject(const Token& type, int depth) {
        if (depth > kMaxNesting)
            Fail(type.offset, "objects nested deeper than " + std::to_string(kMaxNesting));
        std::string_view name;
        Token t = ts_.Next();
        if (t.kind == TokenKind::Name) {
            name = t.text;
            t = ts_.Next();
        }
        if (t.kind == TokenKind::Guid) t = ts_.Next();
        if (t.kind != TokenKind::OpenBrace) {
            Fail(t.offset, "expected '{' after " + std::string(type.text) + ", found " + describe(t));
        }
        return name;
    }

    // Skips to the "}" that closes a body whose "{" was read; depth counts that body.
    void SkipBody(int depth) {
        int level = 1;
        while (level > 0) {
            const Token t = ts_.Next();
            if (t.kind == TokenKind::OpenBrace) {
                ++level;
                if (depth + level - 1 > kMaxNesting) {
                    Fail(t.offset, "objects nested deeper than " + std::to_string(kMaxNesting));
                }
            } else if (t.kind == TokenKind::CloseBrace) {
                --level;
            } else if (t.kind == TokenKind::End) {
                Fail(t.offset, "unbalanced braces: missing '}'");
            }
        }
    }

    void SkipTemplate() {
        const Token name = ts_.Next();
        if (name.kind != TokenKind::Name)
            Fail(name.offset, "expected a template name, found " + describe(name));
        const Token open = ts_.Next();
        if (open.kind != TokenKind::OpenBrace)
            Fail(open.offset, "expected '{' after template " + std::string(name.text));
        SkipBody(1);
    }

    // The rest of a known object after its values: child objects and references until its "}".
    // on_child is given each child's type token and returns true when it parsed the child itself;
    // on_reference is called after the "{" of a reference and reads it up to its "}".
    template <typename OnChild, typename OnReference>
    void Children(int depth, OnChild on_child, OnReference on_reference) {
        for (;;) {
            const Token t = ts_.Next();
            switch (t.kind) {
            case TokenKind::CloseBrace:
                return;
            case TokenKind::End:
                Fail(t.offset, "unbalanced braces: missing '}'");
            case TokenKind::Name:
                if (!on_child(t)) {
                    OpenObject(t, depth + 1);
                    SkipBody(depth + 1);
                }
                break;
            case TokenKind::OpenBrace:
                if (depth + 1 > kMaxNesting) {
                    Fail(t.offset, "objects nested deeper than " + std::to_string(kMaxNesting));
                }
                on_reference();
                break;
            default:
                break; // stray values and separators are passed over
            }
        }
    }

    template <typename OnChild> void Children(int depth, OnChild on_child) {
        Children(depth, on_child, [&] { SkipBody(depth + 1); });
    }

    void NoChildren(int depth) {
        Children(depth, [](const Token&) { return false; });
    }

    void SkipSeparators() {
        while (is_separator(ts_.Peek()))
            ts_.Next();
    }

    std::uint32_t ReadUint(const char* what) {
        SkipSeparators();
        const Token t = ts_.Next();
        if (t.kind != TokenKind::Integer || t.integer < 0 || t.integer > 0xFFFFFFFFll) {
            Fail(t.offset, std::string("expected an unsigned integer (") + what + "), found " + describe(t));
        }
        return static_cast<std::uint32_t>(t.integer);
    }

    // A count of items of values_each values; a count the remaining data cannot hold is refused.
    std::uint32_t ReadCount(const char* what, std::size_t values_each) {
        SkipSeparators();
        const std::size_t at = ts_.Peek().offset;
        const std::uint32_t n = ReadUint(what);
        if (static_cast<std::uint64_t>(n) * values_each > ts_.RemainingBytes()) {
            Fail(at, std::string(what) + " " + std::to_string(n) + " does not fit the remaining data");
        }
        return n;
    }

    float ReadFloat(const char* what) {
        SkipSeparators();
        const Token t = ts_.Next();
        if (t.kind != TokenKind::Float && t.kind != TokenKind::Integer) {
            Fail(t.offset, std::string("expected a number (") + what + "), found " + describe(t));
        }
        return static_cast<float>(t.number);
    }

    Float3 ReadFloat3(const char* what) {
        Float3 v;
        v.x = ReadFloat(what);
        v.y = ReadFloat(what);
        v.z = ReadFloat(what);
        return v;
    }

    // n-gon index lists: a size then that many indices, each below limit.
    void ReadFaces(std::uint32_t faces, std::uint32_t limit, const char* what,
                   std::vector<std::uint32_t>& sizes, std::vector<std::uint32_t>& indices) {
        sizes.reserve(faces);
        for (std::uint32_t f = 0; f < faces; ++f) {
            const std::uint32_t n = ReadCount("face size", 1);
            sizes.push_back(n);
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::size_t at = ts_.Peek().offset;
                const std::uint32_t i = ReadUint(what);
                if (i >= limit) {
                    Fail(at, std::string(what) + " " + std::to_string(i) + " out of range (" +
                                 std::to_string(limit) + " available)");
                }
                indices.push_back(i);
            }
        }
    }

    void ParseFrame(int parent, int depth) {
        const int index = static_cast<int>(scene_.frames.size());
        scene_.frames.push_back({parent, kIdentity});
        Children(depth, [&](const Token& type) {
            if (type.text == "FrameTransformMatrix") {
                OpenObject(type, depth + 1);
                Matrix m;
                for (double& v : m)
                    v = ReadFloat("matrix element");
                scene_.frames[static_cast<std::size_t>(index)].local = m;
                NoChildren(depth + 1);
                return true;
            }
            if (type.text == "Frame" || type.text == "Mesh" || type.text == "Material") {
                Child(type, index, depth);
                return true;
            }
            return false;
        });
    }

    void ParseMesh(int frame, int depth) {
        RawMesh mesh;
        mesh.frame = frame;
        const std::uint32_t vertices = ReadCount("vertex count", 3);
        if (vertices > kMaxMeshVertices) {
            Fail(ts_.Peek().offset, "mesh of " + std::to_string(vertices) +
                                        " vertices exceeds the limit of " + std::to_string(kMaxMeshVertices));
        }
        mesh.positions.reserve(vertices);
        for (std::uint32_t i = 0; i < vertices; ++i)
            mesh.positions.push_back(ReadFloat3("vertex"));
        const std::uint32_t faces = ReadCount("face count", 1);
        ReadFaces(faces, vertices, "vertex index", mesh.face_sizes, mesh.face_indices);

        Children(depth, [&](const Token& type) {
            if (type.text == "MeshNormals") {
                OpenObject(type, depth + 1);
                ParseNormals(mesh, depth + 1);
            } else if (type.text == "MeshTextureCoords") {
                OpenObject(type, depth + 1);
                ParseTexcoords(mesh, depth + 1);
            } else if (type.text == "MeshMaterialList") {
                OpenObject(type, depth + 1);
                ParseMaterialList(mesh, depth + 1);
            } else if (type.text == "Material") {
                Child(type, frame, depth);
            } else {
                return false;
            }
            return true;
        });
        scene_.meshes.push_back(std::move(mesh));
    }

    void ParseNormals(RawMesh& mesh, int depth) {
        const std::uint32_t count = ReadCount("normal count", 3);
        mesh.normals.clear();
        mesh.normals.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            mesh.normals.push_back(ReadFloat3("normal"));
        const std::size_t at = ts_.Peek().offset;
        const std::uint32_t faces = ReadCount("normal face count", 1);
        std::vector<std::uint32_t> sizes;
        mesh.normal_indices.clear();
        ReadFaces(faces, count, "normal index", sizes, mesh.normal_indices);
        if (sizes != mesh.face_sizes) Fail(at, "normal faces do not match the mesh faces");
        mesh.has_normals = true;
        NoChildren(depth);
    }

    void ParseTexcoords(RawMesh& mesh, int depth) {
        const std::size_t at = ts_.Peek().offset;
        const std::uint32_t count = ReadCount("texture coordinate count", 2);
        if (count < mesh.positions.size()) {
            Fail(at, std::to_string(count) + " texture coordinates for " +
                         std::to_string(mesh.positions.size()) + " vertices");
        }
        mesh.texcoords.clear();
        mesh.texcoords.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            Float2 uv;
            uv.u = ReadFloat("texture coordinate");
            uv.v = ReadFloat("texture coordinate");
            mesh.texcoords.push_back(uv);
        }
        mesh.has_texcoords = true;
        NoChildren(depth);
    }

    void ParseMaterialList(RawMesh& mesh, int depth) {
        const std::size_t at = ts_.Peek().offset;
        const std::uint32_t materials = ReadCount("material count", 1);
        const std::uint32_t listed = ReadCount("face index count", 1);
        const std::size_t faces = mesh.face_sizes.size();
        std::vector<std::uint32_t> per_face;
        per_face.reserve(faces);
        for (std::uint32_t i = 0; i < listed; ++i) {
            const std::size_t index_at = ts_.Peek().offset;
            const std::uint32_t m = ReadUint("material index");
            if (m >= materials) {
                Fail(index_at, "material index " + std::to_string(m) + " out of range (" +
                                   std::to_string(materials) + " materials)");
            }
            if (per_face.size() < faces) per_face.push_back(m);
        }
        // A short list stands for its last index repeated over the remaining faces.
        const std::uint32_t last = per_face.empty() ? 0 : per_face.back();
        per_face.resize(faces, last);

        // Materials come inline or as references "{ Name }" to a material read before, in order.
        mesh.materials.clear();
        Children(
            depth,
            [&](const Token& type) {
                if (type.text != "Material") return false;
                const std::string_view name = OpenObject(type, depth + 1);
                mesh.materials.push_back(ParseMaterial(name, depth + 1));
                return true;
            },
            [&] { mesh.materials.push_back(ReadMaterialReference()); });
        if (mesh.materials.size() < materials) {
            Fail(at, "material list of " + std::to_string(materials) + " materials holds " +
                         std::to_string(mesh.materials.size()));
        }
        mesh.materials.resize(materials);
        // A list of no materials gives its faces nothing to refer to: the mesh counts as unlisted.
        mesh.has_material_list = materials > 0;
        if (mesh.has_material_list) mesh.face_materials = std::move(per_face);
    }

    XMaterial ParseMaterial(std::string_view name, int depth) {
        XMaterial m;
        m.diffuse.r = ReadFloat("face colour");
        m.diffuse.g = ReadFloat("face colour");
        m.diffuse.b = ReadFloat("face colour");
        m.diffuse.a = ReadFloat("face colour");
        m.power = ReadFloat("power");
        m.specular.r = ReadFloat("specular colour");
        m.specular.g = ReadFloat("specular colour");
        m.specular.b = ReadFloat("specular colour");
        m.emissive.r = ReadFloat("emissive colour");
        m.emissive.g = ReadFloat("emissive colour");
        m.emissive.b = ReadFloat("emissive colour");
        bool has_texture = false;
        Children(depth, [&](const Token& type) {
            if (type.text != "TextureFilename" && type.text != "TextureFileName") return false;
            OpenObject(type, depth + 1);
            SkipSeparators();
            const Token s = ts_.Next();
            if (s.kind != TokenKind::String)
                Fail(s.offset, "expected the texture file name, found " + describe(s));
            if (!has_texture) m.texture = std::string(s.text);
            has_texture = true;
            NoChildren(depth + 1);
            return true;
        });
        if (!name.empty()) named_materials_[std::string(name)] = m;
        return m;
    }

    // After the "{" of a reference: a name, an optional GUID, "}".
    XMaterial ReadMaterialReference() {
        Token t = ts_.Next();
        if (t.kind != TokenKind::Name) Fail(t.offset, "material reference without a name");
        const std::string_view name = t.text;
        const std::size_t at = t.offset;
        t = ts_.Next();
        if (t.kind == TokenKind::Guid) t = ts_.Next();
        if (t.kind != TokenKind::CloseBrace)
            Fail(t.offset, "expected '}' closing a reference, found " + describe(t));
        const auto it = named_materials_.find(name);
        if (it == named_materials_.end())
            Fail(at, "reference to unknown material '" + std::string(name) + "'");
        return it->second;
    }

    TokenSource& ts_;
    RawScene scene_;
    std::map<std::string, XMaterial, std::less<>> named_materials_;
};

} // namespace

RawScene ParseScene(TokenSource& tokens) {
    return Parser(tokens).Run();
}

} // namespace kl::platform::xfile
