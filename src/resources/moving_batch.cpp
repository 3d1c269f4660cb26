#include "resources/moving_batch.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "resources/model_forms.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

namespace kl {

namespace {

// A form's buffers on one device: this frame's vertices packed subset after subset, and for each
// subset the indices of `capacity` copies of its triangles, each copy numbered from its own first
// vertex so that one pattern serves whatever number of objects a frame has.
struct FormBuffers {
    std::weak_ptr<gfx::Device> device;
    gfx::VertexBufferPtr vertices;
    gfx::IndexBufferPtr indices;
    std::uint32_t vertex_capacity = 0;      // objects the vertex buffer holds
    std::uint32_t index_capacity = 0;       // copies of each subset's pattern
    std::vector<std::uint32_t> first_index; // per subset
};

// A transform that only turns and moves: rows of the turn of unit length and at right angles, no
// projection. Normals moved by it keep their length, as the device's own lighting would have them.
bool turns_and_moves(const Matrix4& m) {
    if (m.m14 != 0.0f || m.m24 != 0.0f || m.m34 != 0.0f || m.m44 != 1.0f) return false;
    for (int a = 0; a < 3; ++a) {
        for (int b = a; b < 3; ++b) {
            const double d = double(m.at(a, 0)) * m.at(b, 0) + double(m.at(a, 1)) * m.at(b, 1) +
                             double(m.at(a, 2)) * m.at(b, 2);
            if (std::fabs(d - (a == b ? 1.0 : 0.0)) > 1e-5) return false;
        }
    }
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m.data()[i])) return false;
    return true;
}

double determinant(const Matrix4& m) {
    return double(m.m11) * (double(m.m22) * m.m33 - double(m.m23) * m.m32) -
           double(m.m12) * (double(m.m21) * m.m33 - double(m.m23) * m.m31) +
           double(m.m13) * (double(m.m21) * m.m32 - double(m.m22) * m.m31);
}

// Where the eye stands in the world, when the device's view only turns and moves and neither it nor
// the projection mirrors the picture: then the device culls exactly the faces turned away from that
// point. Nothing otherwise.
std::optional<Vec3> unmirrored_eye(gfx::Device& device) {
    gfx::Matrix view_m, projection_m;
    if (platform::Failed(device.GetTransform(gfx::TsView, &view_m)) ||
        platform::Failed(device.GetTransform(gfx::TsProjection, &projection_m)))
        return std::nullopt;
    const auto view = std::bit_cast<Matrix4>(view_m), projection = std::bit_cast<Matrix4>(projection_m);
    if (!turns_and_moves(view) || determinant(view) <= 0 || !(projection.m11 > 0) || !(projection.m22 > 0) ||
        !(projection.m34 > 0))
        return std::nullopt;
    // The eye is the point the view takes to the origin: -t times the turn's transpose.
    const float t[3] = {view.m41, view.m42, view.m43};
    Vec3 eye;
    eye.x = -(t[0] * view.m11 + t[1] * view.m12 + t[2] * view.m13);
    eye.y = -(t[0] * view.m21 + t[1] * view.m22 + t[2] * view.m23);
    eye.z = -(t[0] * view.m31 + t[1] * view.m32 + t[2] * view.m33);
    return eye;
}

// Whether a flat face (first corner a, outward normal n, both in model space) placed by a transform
// that turns and moves is turned clearly away from the eye. Faces seen nearly edge-on count as turned
// to it, so rounding can only keep a face the device then culls, never drop one it would draw.
bool turned_away(const Matrix4& m, const float (&a)[3], const float (&n)[3], const Vec3& eye) {
    const double p[3] = {a[0] * m.m11 + a[1] * m.m21 + a[2] * m.m31 + m.m41,
                         a[0] * m.m12 + a[1] * m.m22 + a[2] * m.m32 + m.m42,
                         a[0] * m.m13 + a[1] * m.m23 + a[2] * m.m33 + m.m43};
    const double r[3] = {n[0] * m.m11 + n[1] * m.m21 + n[2] * m.m31, n[0] * m.m12 + n[1] * m.m22 + n[2] * m.m32,
                         n[0] * m.m13 + n[1] * m.m23 + n[2] * m.m33};
    const double d[3] = {eye.x - p[0], eye.y - p[1], eye.z - p[2]};
    const double facing = r[0] * d[0] + r[1] * d[1] + r[2] * d[2];
    return facing < -1e-3 * std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

bool same_look(const cls3dObject& object, const std::vector<Material>& materials,
               const std::vector<std::array<std::string, 2>>& textures) {
    const std::int32_t n = object.GetMaterialCount();
    if (static_cast<std::size_t>(n) != materials.size() || object.GetMaterials().size() < materials.size())
        return false;
    if (n > 0 &&
        std::memcmp(object.GetMaterials().data(), materials.data(), materials.size() * sizeof(Material)) != 0)
        return false;
    for (std::size_t k = 0; k < textures.size(); ++k)
        if (object.GetMaterialTexture(int(k), 0) != textures[k][0] ||
            object.GetMaterialTexture(int(k), 1) != textures[k][1])
            return false;
    return true;
}

void move_vertices(const ModelForm::Subset& part, const Matrix4& m, std::uint32_t stride, int normal,
                   std::uint8_t* out) {
    const std::uint8_t* in = part.vertices.data();
    const std::size_t bytes = part.vertices.size();
    std::memcpy(out, in, bytes);
    for (std::size_t at = 0; at < bytes; at += stride) {
        float p[3];
        std::memcpy(p, in + at, sizeof p);
        const float q[3] = {p[0] * m.m11 + p[1] * m.m21 + p[2] * m.m31 + m.m41,
                            p[0] * m.m12 + p[1] * m.m22 + p[2] * m.m32 + m.m42,
                            p[0] * m.m13 + p[1] * m.m23 + p[2] * m.m33 + m.m43};
        std::memcpy(out + at, q, sizeof q);
        if (normal >= 0) {
            float n[3];
            std::memcpy(n, in + at + normal, sizeof n);
            const float r[3] = {n[0] * m.m11 + n[1] * m.m21 + n[2] * m.m31,
                                n[0] * m.m12 + n[1] * m.m22 + n[2] * m.m32,
                                n[0] * m.m13 + n[1] * m.m23 + n[2] * m.m33};
            std::memcpy(out + at + normal, r, sizeof r);
        }
    }
}

// A model's forms[] follow Detail.
constexpr int kFull = int(Detail::Full), kBox = int(Detail::Box), kForms = kBox + 1;

} // namespace

Detail DetailForPicture(double pixels) {
    return pixels <= kBoxPixels       ? Detail::Box
           : pixels <= kCoarserPixels ? Detail::Coarser
           : pixels <= kCoarsePixels  ? Detail::Coarse
                                      : Detail::Full;
}

struct MovingBatch::Model {
    std::shared_ptr<const void> shared;
    std::vector<Material> materials;
    std::vector<std::array<std::string, 2>> textures;
    std::uint32_t fvf = 0;
    std::uint32_t stride = 0;
    int normal = -1;
    // The whole model, its coarse forms and its box (each empty when the model has none).
    ModelForm forms[kForms];
    FormBuffers buffers[kForms];
    std::vector<cls3dObject*> members[kForms];
    std::vector<Matrix4> worlds[kForms];

    bool ensure_buffers(gfx::Device& device, const gfx::DevicePtr& pointer, int f, std::uint32_t count);
    // Per subset of this frame's form, the members whose copy of it goes out.
    std::vector<std::vector<std::uint32_t>> shown;

    // Draw calls made; vertices drawn are added to *vertices. With an eye, faces of the box form
    // turned away from it are left out, as the device would cull them.
    std::size_t draw(gfx::Device& device, const gfx::DevicePtr& pointer, int f, std::size_t* vertices,
                     const std::optional<Vec3>& eye);
    // Fills shown for form f.
    void choose_shown(int f, const std::optional<Vec3>& eye);
};

void MovingBatch::Model::choose_shown(int f, const std::optional<Vec3>& eye) {
    const ModelForm& form = forms[f];
    const auto count = static_cast<std::uint32_t>(members[f].size());
    shown.resize(form.subsets.size());
    for (std::size_t j = 0; j < form.subsets.size(); ++j) {
        const ModelForm::Subset& s = form.subsets[j];
        std::vector<std::uint32_t>& list = shown[j];
        list.clear();
        // A coarse form's subset may have lost every triangle.
        if (s.vertex_count == 0) continue;
        // A vehicle a pixel or two across is a box: about half its faces turn away from the eye, and
        // its vertices cost the renderer far more than the few pixels its other faces cover.
        float a[3], n[3] = {0, 0, 0};
        bool flat_face = f == kBox && eye && s.indices.size() >= 3 && s.vertices.size() >= std::size_t(3) * stride;
        if (flat_face) {
            float b[3], c[3];
            std::memcpy(a, s.vertices.data() + std::size_t(s.indices[0]) * stride, sizeof a);
            std::memcpy(b, s.vertices.data() + std::size_t(s.indices[1]) * stride, sizeof b);
            std::memcpy(c, s.vertices.data() + std::size_t(s.indices[2]) * stride, sizeof c);
            // Wound like the models' faces: (b - a) x (c - a) points out of the box.
            const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            n[0] = u[1] * w[2] - u[2] * w[1];
            n[1] = u[2] * w[0] - u[0] * w[2];
            n[2] = u[0] * w[1] - u[1] * w[0];
            const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            flat_face = std::isfinite(length) && length > 0;
            for (float& v : n)
                v = flat_face ? v / length : 0.0f;
        }
        for (std::uint32_t i = 0; i < count; ++i)
            if (!flat_face || determinant(worlds[f][i]) <= 0 || !turned_away(worlds[f][i], a, n, *eye))
                list.push_back(i);
    }
}

bool MovingBatch::Model::ensure_buffers(gfx::Device& device, const gfx::DevicePtr& pointer, int f,
                                        std::uint32_t count) {
    FormBuffers& b = buffers[f];
    const ModelForm& form = forms[f];
    if (b.device.lock() != pointer) b = FormBuffers{};
    b.device = pointer;
    const auto grown = [](std::uint32_t have, std::uint32_t want) {
        return std::max({want, have * 2, std::uint32_t{16}});
    };
    if (!b.vertices || b.vertex_capacity < count) {
        const std::uint32_t capacity = grown(b.vertex_capacity, count);
        const std::size_t bytes = std::size_t(capacity) * form.vertex_count * stride;
        gfx::VertexBufferPtr vb;
        if (bytes > UINT32_MAX || platform::Failed(device.CreateVertexBuffer(
                                      static_cast<gfx::Dword>(bytes), gfx::UsageDynamic | gfx::UsageWriteOnly,
                                      fvf, gfx::PoolManaged, &vb)))
            return false;
        b.vertices = std::move(vb);
        b.vertex_capacity = capacity;
    }
    if (!b.indices || b.index_capacity < count) {
        const std::uint32_t capacity = grown(b.index_capacity, count);
        std::size_t total = 0;
        for (const ModelForm::Subset& s : form.subsets)
            total += s.indices.size();
        const std::size_t bytes = total * capacity * sizeof(std::uint32_t);
        gfx::IndexBufferPtr ib;
        std::uint8_t* data = nullptr;
        if (bytes > UINT32_MAX || bytes == 0 ||
            platform::Failed(device.CreateIndexBuffer(static_cast<gfx::Dword>(bytes), gfx::UsageWriteOnly,
                                                      gfx::FmtIndex32, gfx::PoolManaged, &ib)) ||
            platform::Failed(ib->Lock(0, 0, &data, 0)))
            return false;
        b.first_index.assign(form.subsets.size(), 0);
        std::uint32_t at = 0;
        for (std::size_t j = 0; j < form.subsets.size(); ++j) {
            const ModelForm::Subset& s = form.subsets[j];
            b.first_index[j] = at;
            for (std::uint32_t copy = 0; copy < capacity; ++copy) {
                const std::uint32_t base = copy * s.vertex_count;
                for (const std::uint32_t i : s.indices) {
                    const std::uint32_t v = base + i;
                    std::memcpy(data + std::size_t(at) * 4, &v, 4);
                    ++at;
                }
            }
        }
        IgnoreStatus(ib->Unlock(), "drawn like the objects, errors ignored");
        b.indices = std::move(ib);
        b.index_capacity = capacity;
    }
    return true;
}

std::size_t MovingBatch::Model::draw(gfx::Device& device, const gfx::DevicePtr& pointer, int f,
                                     std::size_t* vertices, const std::optional<Vec3>& eye) {
    const std::vector<cls3dObject*>& objects = members[f];
    const ModelForm& form = forms[f];
    const auto count = static_cast<std::uint32_t>(objects.size());
    if (count == 0 || form.vertex_count == 0 || !ensure_buffers(device, pointer, f, count)) return 0;
    FormBuffers& b = buffers[f];
    choose_shown(f, eye);

    // Subset after subset, the copies of the subset's vertices that go out, moved into place.
    std::size_t bytes = 0;
    for (std::size_t j = 0; j < form.subsets.size(); ++j)
        bytes += shown[j].size() * form.subsets[j].vertices.size();
    if (bytes == 0) return 0;
    std::uint8_t* data = nullptr;
    if (platform::Failed(b.vertices->Lock(0, static_cast<gfx::Dword>(bytes), &data, 0))) return 0;
    std::uint8_t* out = data;
    for (std::size_t j = 0; j < form.subsets.size(); ++j) {
        const ModelForm::Subset& s = form.subsets[j];
        for (const std::uint32_t i : shown[j]) {
            move_vertices(s, worlds[f][i], stride, normal, out);
            out += s.vertices.size();
        }
    }
    IgnoreStatus(b.vertices->Unlock(), "drawn like the objects, errors ignored");

    std::size_t calls = 0;
    std::uint32_t first_vertex = 0;
    IgnoreStatus(device.SetVertexShader(fvf), "drawn like the objects, errors ignored");
    IgnoreStatus(device.SetStreamSource(0, b.vertices, stride), "drawn like the objects, errors ignored");
    for (std::size_t j = 0; j < form.subsets.size(); ++j) {
        const ModelForm::Subset& s = form.subsets[j];
        if (!form.materials.empty()) {
            objects.front()->ApplySubsetStates(form.states_from);
            IgnoreStatus(device.SetMaterial(std::bit_cast<gfx::Material>(form.materials[j])),
                         "drawn like the objects, errors ignored");
        } else {
            objects.front()->ApplySubsetStates(static_cast<std::int32_t>(j));
        }
        const auto n = static_cast<std::uint32_t>(shown[j].size());
        if (!s.indices.empty() && n > 0) {
            IgnoreStatus(device.SetIndices(b.indices, first_vertex),
                         "drawn like the objects, errors ignored");
            IgnoreStatus(device.DrawIndexedPrimitive(gfx::PtTriangleList, 0, n * s.vertex_count,
                                                     b.first_index[j],
                                                     static_cast<gfx::Dword>(n * s.indices.size() / 3)),
                         "drawn like the objects, errors ignored");
            ++calls;
            *vertices += std::size_t(n) * s.vertex_count;
        }
        first_vertex += n * s.vertex_count;
    }
    return calls;
}

MovingBatch::MovingBatch() = default;
MovingBatch::~MovingBatch() = default;

void MovingBatch::Clear() {
    models_.clear();
    last_model_ = nullptr;
    last_drawn_.clear();
    last_worlds_.clear();
    last_draw_calls_ = last_vertices_ = last_reduced_ = last_coarse_ = 0;
}

void MovingBatch::Begin() {
    for (auto& model : models_) {
        for (int f = 0; f < kForms; ++f) {
            model->members[f].clear();
            model->worlds[f].clear();
        }
    }
}

MovingBatch::Model* MovingBatch::model_for(cls3dObject& object) {
    const d3dx::Mesh* mesh = object.GetMesh();
    if (mesh == nullptr) return nullptr;
    const auto fits = [&](const Model& m) {
        return mesh->DrawsFrom(m.shared) && same_look(object, m.materials, m.textures);
    };
    if (last_model_ != nullptr && fits(*last_model_)) return last_model_;
    for (auto& m : models_) {
        if (fits(*m)) return last_model_ = m.get();
    }

    MeshCopy copy;
    if (!object.CopyGeometry(copy)) return nullptr;
    const gfx::VertexLayout layout = gfx::LayoutOf(copy.VertexFormat);
    if (layout.position != 0 || layout.position_size != 3 || layout.pretransformed || copy.VertexSize < 12)
        return nullptr;
    auto model = std::make_unique<Model>();
    model->shared = mesh->SharedData();
    const std::int32_t n = object.GetMaterialCount();
    if (n < 0 || object.GetMaterials().size() < std::size_t(n)) return nullptr;
    model->materials.assign(object.GetMaterials().begin(), object.GetMaterials().begin() + n);
    for (std::int32_t k = 0; k < n && k < cls3dObject::kMaterialRows; ++k)
        model->textures.push_back({object.GetMaterialTexture(k, 0), object.GetMaterialTexture(k, 1)});
    model->fvf = copy.VertexFormat;
    model->stride = copy.VertexSize;
    model->normal = layout.normal;
    if (!MakeModelForm(copy, n, model->forms[0])) return nullptr;
    MakeCoarseForm(model->forms[kFull], copy.VertexSize, layout, kCoarseCells, model->forms[int(Detail::Coarse)]);
    MakeCoarseForm(model->forms[kFull], copy.VertexSize, layout, kCoarserCells,
                   model->forms[int(Detail::Coarser)]);
    MakeBoxForm(model->forms[kFull], model->materials, copy.VertexSize, layout, model->forms[kBox]);
    models_.push_back(std::move(model));
    return last_model_ = models_.back().get();
}

bool MovingBatch::Add(cls3dObject& object, const Matrix4& world, Detail detail) {
    const cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || engine->Device() == nullptr || engine->GetShadowState()) return false;
    if (!turns_and_moves(world)) return false;
    Model* model = model_for(object);
    if (model == nullptr) return false;
    // A model without the form asked for is drawn in the next finer one it has.
    int f = int(detail);
    while (f > kFull && model->forms[f].vertex_count == 0)
        --f;
    model->members[f].push_back(&object);
    model->worlds[f].push_back(world);
    return true;
}

void MovingBatch::Draw() {
    last_drawn_.clear();
    last_worlds_.clear();
    last_draw_calls_ = last_vertices_ = last_reduced_ = last_coarse_ = 0;
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || engine->Device() == nullptr) return;
    gfx::Device& device = *engine->Device();
    const gfx::DevicePtr pointer = engine->DevicePointer();

    const Matrix4 identity = MatrixIdentity();
    const std::optional<Vec3> eye = unmirrored_eye(device);
    bool world_set = false;
    for (auto& model : models_) {
        for (int f = 0; f < kForms; ++f) {
            if (model->members[f].empty()) continue;
            if (!world_set) {
                IgnoreStatus(device.SetTransform(gfx::TsWorld, std::bit_cast<gfx::Matrix>(identity)),
                             "drawn like the objects, errors ignored");
                IgnoreStatus(device.SetTextureStageState(0, gfx::tss::AlphaOp, gfx::TopSelectArg1),
                             "drawn like the objects, errors ignored");
                IgnoreStatus(device.SetRenderState(gfx::rs::CullMode, gfx::CullCcw),
                             "drawn like the objects, errors ignored");
                world_set = true;
            }
            last_draw_calls_ += model->draw(device, pointer, f, &last_vertices_, eye);
            last_drawn_.insert(last_drawn_.end(), model->members[f].begin(), model->members[f].end());
            last_worlds_.insert(last_worlds_.end(), model->worlds[f].begin(), model->worlds[f].end());
            if (f == kBox) last_reduced_ += model->members[f].size();
            if (f != kFull && f != kBox) last_coarse_ += model->members[f].size();
        }
    }
}

} // namespace kl
