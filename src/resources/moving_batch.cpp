#include "resources/moving_batch.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "platform/os/optimisations.h"
#include "resources/model_forms.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

namespace kl {

namespace {

// A form's buffers on one device: this frame's vertices packed subset after subset, and their
// indices, each copy's numbered from the first vertex of its subset's run.
struct FormBuffers {
    std::weak_ptr<gfx::Device> device;
    gfx::VertexBufferPtr vertices;
    gfx::IndexBufferPtr indices;
    std::size_t vertex_capacity = 0; // bytes
    std::size_t index_capacity = 0;
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

// Which facings of a form placed by a transform that turns and moves (and does not mirror) may have
// a triangle turned to the eye, one bit each. The others are clearly turned away from it, so the
// device would cull all their triangles; seen nearly edge-on counts as turned to the eye, so rounding
// can only keep a triangle the device then culls, never drop one it would draw.
std::uint32_t facings_in_sight(const ModelForm& form, const Matrix4& m, const Vec3& eye) {
    // The eye in the form's own space: the transform's turn undone (its transpose).
    const double d[3] = {double(eye.x) - m.m41, double(eye.y) - m.m42, double(eye.z) - m.m43};
    double e[3];
    for (int k = 0; k < 3; ++k)
        e[k] = d[0] * m.at(k, 0) + d[1] * m.at(k, 1) + d[2] * m.at(k, 2);
    // No corner is farther from the eye than this.
    const double reach =
        std::hypot(e[0] - form.centre[0], e[1] - form.centre[1], e[2] - form.centre[2]) + form.radius;
    std::uint32_t bits = std::uint32_t{1} << kNoFacing;
    for (int f = 0; f < kNoFacing; ++f) {
        const ModelForm::Facing& g = form.facings[f];
        // A triangle of the facing, normal n at an angle of at most the spread from the direction a,
        // seen from the eye at e, corner p: n.(e - p) <= cos(spread) h + sin(spread) reach, where
        // h = a.e - nearest < 0 is how far the eye lies behind the facing's nearest plane.
        const double h = g.direction[0] * e[0] + g.direction[1] * e[1] + g.direction[2] * e[2] - g.nearest;
        const bool turned_away = h < 0 && g.cos_spread * h + g.sin_spread * reach < -1e-3 * reach;
        if (!turned_away) bits |= std::uint32_t{1} << f;
    }
    return bits;
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

void move_vertices(const ModelForm::Subset& s, const ModelForm::Part& part, const Matrix4& m, std::uint32_t stride,
                   int normal, std::uint8_t* out) {
    const std::uint8_t* in = s.vertices.data() + std::size_t(part.first_vertex) * stride;
    const std::size_t bytes = std::size_t(part.vertex_count) * stride;
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
    if (platform::ReducedFormsOff()) return Detail::Full;
    return pixels <= kBoxPixels       ? Detail::Box
           : pixels <= kCoarserPixels ? Detail::Coarser
           : pixels <= kCoarsePixels  ? Detail::Coarse
           : pixels <= kFinePixels    ? Detail::Fine
                                      : Detail::Full;
}

Detail RingDetailForPicture(double pixels) {
    if (platform::ReducedFormsOff()) return Detail::Full;
    return pixels <= kRingBoxPixels       ? Detail::Box
           : pixels <= kRingCoarserPixels ? Detail::Coarser
                                          : DetailForPicture(pixels);
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

    bool ensure_buffers(gfx::Device& device, const gfx::DevicePtr& pointer, int f, std::size_t vertex_bytes,
                        std::size_t index_bytes);
    // Per member of this frame's form, its facings in sight.
    std::vector<std::uint32_t> in_sight;

    // Draw calls made; vertices drawn are added to *vertices. With an eye, the parts of each copy
    // turned away from it are left out, as the device would cull them.
    std::size_t draw(gfx::Device& device, const gfx::DevicePtr& pointer, int f, std::size_t* vertices,
                     const std::optional<Vec3>& eye);
};

bool MovingBatch::Model::ensure_buffers(gfx::Device& device, const gfx::DevicePtr& pointer, int f,
                                        std::size_t vertex_bytes, std::size_t index_bytes) {
    FormBuffers& b = buffers[f];
    if (b.device.lock() != pointer) b = FormBuffers{};
    b.device = pointer;
    // Sized for what this frame sends (the copies' parts in sight, often half a form), with a quarter
    // to spare so that the next frames rarely grow them: sized for every copy's whole form, doubling,
    // the ring's buffers took hundreds of megabytes at 1920x1080, held again by the device.
    const auto grown = [](std::size_t want) { return std::max<std::size_t>(want + want / 4, 4096); };
    if (!b.vertices || b.vertex_capacity < vertex_bytes) {
        const std::size_t bytes = grown(vertex_bytes);
        b.vertices.reset();
        gfx::VertexBufferPtr vb;
        if (bytes > UINT32_MAX || platform::Failed(device.CreateVertexBuffer(
                                      static_cast<gfx::Dword>(bytes), gfx::UsageDynamic | gfx::UsageWriteOnly,
                                      fvf, gfx::PoolManaged, &vb)))
            return false;
        b.vertices = std::move(vb);
        b.vertex_capacity = bytes;
    }
    if (!b.indices || b.index_capacity < index_bytes) {
        const std::size_t bytes = grown(index_bytes);
        b.indices.reset();
        gfx::IndexBufferPtr ib;
        if (bytes > UINT32_MAX ||
            platform::Failed(device.CreateIndexBuffer(static_cast<gfx::Dword>(bytes),
                                                      gfx::UsageDynamic | gfx::UsageWriteOnly, gfx::FmtIndex32,
                                                      gfx::PoolManaged, &ib)))
            return false;
        b.indices = std::move(ib);
        b.index_capacity = bytes;
    }
    return true;
}

std::size_t MovingBatch::Model::draw(gfx::Device& device, const gfx::DevicePtr& pointer, int f,
                                     std::size_t* vertices, const std::optional<Vec3>& eye) {
    const std::vector<cls3dObject*>& objects = members[f];
    const ModelForm& form = forms[f];
    const auto count = static_cast<std::uint32_t>(objects.size());
    if (count == 0 || form.vertex_count == 0) return 0;
    FormBuffers& b = buffers[f];
    in_sight.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
        in_sight[i] = eye && determinant(worlds[f][i]) > 0 ? facings_in_sight(form, worlds[f][i], *eye)
                                                           : ~std::uint32_t{0};

    // Subset after subset, the parts in sight of each copy, moved into place, and their indices.
    std::size_t bytes = 0, index_count = 0;
    for (const ModelForm::Subset& s : form.subsets)
        for (std::uint32_t i = 0; i < count; ++i)
            for (const ModelForm::Part& part : s.parts)
                if ((in_sight[i] >> part.facing) & 1) {
                    bytes += std::size_t(part.vertex_count) * stride;
                    index_count += part.index_count;
                }
    if (bytes == 0 || index_count == 0 || !ensure_buffers(device, pointer, f, bytes, index_count * 4)) return 0;
    std::uint8_t *vertex_data = nullptr, *index_data = nullptr;
    if (platform::Failed(b.vertices->Lock(0, static_cast<gfx::Dword>(bytes), &vertex_data, 0))) return 0;
    if (platform::Failed(b.indices->Lock(0, static_cast<gfx::Dword>(index_count * 4), &index_data, 0))) {
        IgnoreStatus(b.vertices->Unlock(), "drawn like the objects, errors ignored");
        return 0;
    }
    struct Run {
        std::uint32_t first_vertex, vertex_count, first_index, index_count;
    };
    std::vector<Run> runs(form.subsets.size());
    std::uint8_t* out = vertex_data;
    std::uint32_t vertex_at = 0, index_at = 0;
    for (std::size_t j = 0; j < form.subsets.size(); ++j) {
        const ModelForm::Subset& s = form.subsets[j];
        runs[j] = {vertex_at, 0, index_at, 0};
        std::uint32_t base = 0; // this copy's first vertex within the run
        for (std::uint32_t i = 0; i < count; ++i) {
            for (const ModelForm::Part& part : s.parts) {
                if (((in_sight[i] >> part.facing) & 1) == 0) continue;
                move_vertices(s, part, worlds[f][i], stride, normal, out);
                out += std::size_t(part.vertex_count) * stride;
                const std::int64_t shift = std::int64_t(base) - part.first_vertex;
                for (std::uint32_t k = 0; k < part.index_count; ++k) {
                    const auto v = static_cast<std::uint32_t>(s.indices[part.first_index + k] + shift);
                    std::memcpy(index_data + std::size_t(index_at++) * 4, &v, 4);
                }
                base += part.vertex_count;
            }
        }
        runs[j].vertex_count = base;
        runs[j].index_count = index_at - runs[j].first_index;
        vertex_at += base;
    }
    IgnoreStatus(b.indices->Unlock(), "drawn like the objects, errors ignored");
    IgnoreStatus(b.vertices->Unlock(), "drawn like the objects, errors ignored");

    std::size_t calls = 0;
    IgnoreStatus(device.SetVertexShader(fvf), "drawn like the objects, errors ignored");
    IgnoreStatus(device.SetStreamSource(0, b.vertices, stride), "drawn like the objects, errors ignored");
    for (std::size_t j = 0; j < form.subsets.size(); ++j) {
        if (!form.materials.empty()) {
            objects.front()->ApplySubsetStates(form.states_from);
            IgnoreStatus(device.SetMaterial(form.materials[j]), "drawn like the objects, errors ignored");
        } else {
            objects.front()->ApplySubsetStates(static_cast<std::int32_t>(j));
        }
        const Run& run = runs[j];
        if (run.index_count == 0) continue;
        IgnoreStatus(device.SetIndices(b.indices, run.first_vertex), "drawn like the objects, errors ignored");
        IgnoreStatus(device.DrawIndexedPrimitive(gfx::PtTriangleList, 0, run.vertex_count, run.first_index,
                                                 run.index_count / 3),
                     "drawn like the objects, errors ignored");
        ++calls;
        *vertices += run.vertex_count;
    }
    return calls;
}

MovingBatch::MovingBatch() = default;
MovingBatch::~MovingBatch() = default;

void MovingBatch::Clear() {
    models_.clear();
    fits_.clear();
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
    Fit& fit = fits_[&object];
    if (fit.model != nullptr && fit.look == object.LookStamp() && mesh->DrawsFrom(fit.model->shared))
        return fit.model;
    const auto found = [&](Model* m) {
        fit = {object.LookStamp(), m};
        return last_model_ = m;
    };
    if (last_model_ != nullptr && fits(*last_model_)) return found(last_model_);
    for (auto& m : models_) {
        if (fits(*m)) return found(m.get());
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
    MakeCoarseForm(model->forms[kFull], copy.VertexSize, layout, kFineCells, model->forms[int(Detail::Fine)]);
    MakeCoarseForm(model->forms[kFull], copy.VertexSize, layout, kCoarseCells, model->forms[int(Detail::Coarse)]);
    MakeCoarseForm(model->forms[kFull], copy.VertexSize, layout, kCoarserCells,
                   model->forms[int(Detail::Coarser)]);
    MakeBoxForm(model->forms[kFull], model->materials, copy.VertexSize, layout, model->forms[kBox]);
    for (int f = 0; f < kForms; ++f) {
        if (model->forms[f].vertex_count == 0 || SortByFacing(model->forms[f], copy.VertexSize)) continue;
        if (f == kFull) return nullptr;
        model->forms[f] = ModelForm{};
    }
    models_.push_back(std::move(model));
    return found(models_.back().get());
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

void MovingBatch::Draw(std::size_t hand_over_every) {
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
    std::size_t handed_over = 0;
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
            if (hand_over_every > 0 && last_vertices_ - handed_over >= hand_over_every &&
                !platform::Failed(device.EndScene())) {
                IgnoreStatus(device.BeginScene(), "drawn like the objects, errors ignored");
                handed_over = last_vertices_;
            }
        }
    }
}

} // namespace kl
