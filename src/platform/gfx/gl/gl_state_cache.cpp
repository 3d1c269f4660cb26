// The OpenGL device's redundant-state filter: what GL was last given, so that a draw hands over
// only the states that differ from it. Most draws of a frame change a texture or a matrix and
// nothing else.
#include "platform/gfx/gl/gl_state_cache.h"

#include "platform/os/optimisations.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kl::gfx {

namespace {

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

// z' = 2z - w: the engine's depth range 0..1 becomes GL's -1..1.
Matrix depth_to_gl() {
    Matrix s = IdentityMatrix();
    s.m[10] = 2.0f;
    s.m[14] = -1.0f;
    return s;
}

GLenum gl_compare(Dword c) {
    switch (c) {
    case CmpNever:
        return GL_NEVER;
    case CmpLess:
        return GL_LESS;
    case CmpEqual:
        return GL_EQUAL;
    case CmpLessEqual:
        return GL_LEQUAL;
    case CmpGreater:
        return GL_GREATER;
    case CmpNotEqual:
        return GL_NOTEQUAL;
    case CmpGreaterEqual:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum gl_stencil_op(Dword op) {
    switch (op) {
    case SopZero:
        return GL_ZERO;
    case SopReplace:
        return GL_REPLACE;
    case SopIncrSat:
        return GL_INCR;
    case SopDecrSat:
        return GL_DECR;
    case SopInvert:
        return GL_INVERT;
    case SopIncr:
        return GL_INCR_WRAP;
    case SopDecr:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum gl_blend(Dword b) {
    switch (b) {
    case BlendZero:
        return GL_ZERO;
    case BlendSrcColor:
        return GL_SRC_COLOR;
    case BlendInvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case BlendSrcAlpha:
        return GL_SRC_ALPHA;
    case BlendInvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case BlendDestAlpha:
        return GL_DST_ALPHA;
    case BlendInvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case BlendDestColor:
        return GL_DST_COLOR;
    case BlendInvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case BlendSrcAlphaSat:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum gl_blend_equation(Dword op) {
    switch (op) {
    case BlendOpSubtract:
        return GL_FUNC_SUBTRACT;
    case BlendOpRevSubtract:
        return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOpMin:
        return GL_MIN;
    case BlendOpMax:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLint gl_source(Dword arg) {
    switch (arg & 0xF) {
    case TaTexture:
        return GL_TEXTURE;
    case TaTFactor:
        return GL_CONSTANT;
    default:
        return GL_PRIMARY_COLOR; // diffuse, and "current" at the first stage
    }
}

// One combiner (colour or alpha) for a stage operation; an operation we do not map passes the
// diffuse value through.
void set_combiner(bool alpha, Dword op, Dword arg1, Dword arg2) {
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum src0 = alpha ? GL_SOURCE0_ALPHA : GL_SOURCE0_RGB;
    const GLenum src1 = alpha ? GL_SOURCE1_ALPHA : GL_SOURCE1_RGB;
    const GLenum operand0 = alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB;
    const GLenum operand1 = alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB;
    const GLenum scale = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
    const GLint operand = alpha ? GL_SRC_ALPHA : GL_SRC_COLOR;
    GLint mode = GL_MODULATE;
    GLint a = gl_source(arg1), b = gl_source(arg2);
    float factor = 1.0f;
    switch (op) {
    case TopSelectArg1:
        mode = GL_REPLACE;
        break;
    case TopSelectArg2:
        mode = GL_REPLACE;
        a = b;
        break;
    case TopModulate:
        break;
    case TopModulate2x:
        factor = 2.0f;
        break;
    case TopModulate4x:
        factor = 4.0f;
        break;
    case TopAdd:
        mode = GL_ADD;
        break;
    case TopAddSigned:
        mode = GL_ADD_SIGNED;
        break;
    case TopSubtract:
        mode = GL_SUBTRACT;
        break;
    default: // disabled or unknown: the diffuse value passes through
        mode = GL_REPLACE;
        a = GL_PRIMARY_COLOR;
        break;
    }
    glTexEnvi(GL_TEXTURE_ENV, combine, mode);
    glTexEnvi(GL_TEXTURE_ENV, src0, a);
    glTexEnvi(GL_TEXTURE_ENV, src1, b);
    glTexEnvi(GL_TEXTURE_ENV, operand0, operand);
    glTexEnvi(GL_TEXTURE_ENV, operand1, operand);
    glTexEnvf(GL_TEXTURE_ENV, scale, factor);
}

void enable_if(GLenum cap, bool on) {
    on ? glEnable(cap) : glDisable(cap);
}

bool differs(const std::array<Dword, rs::kCount>& a, const std::array<Dword, rs::kCount>& b,
             std::initializer_list<int> codes) {
    for (int c : codes)
        if (a[static_cast<std::size_t>(c)] != b[static_cast<std::size_t>(c)]) return true;
    return false;
}

} // namespace

void GlColor(Dword argb, float out[4]) {
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

void GlStateCache::Start(const GlTarget& target) {
    target_ = target;
    force_all_ = true;
    changes_ = changed::All;
    applied_mode_ = applied_lighting_ = applied_color_material_ = applied_clip_mask_ = -1;
    applied_material_parts_ = 0;
    bound_texture_ = bound_array_ = bound_element_ = 0;
    arrays_ = ArraySource{};
}

void GlStateCache::RestoreWriteMasks() const {
    if (force_all_) return; // the next draw sets them all anyway
    const auto& a = applied_render_;
    glDepthMask(a[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
    glStencilMask(a[rs::StencilWriteMask]);
    const Dword m = a[rs::ColorWriteEnable];
    glColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0);
}

void GlStateCache::UseMemory() {
    if (bound_array_ != 0) glBindBuffer(GL_ARRAY_BUFFER, bound_array_ = 0);
    if (bound_element_ != 0) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, bound_element_ = 0);
}

void GlStateCache::PointArrays(const VertexLayout& l, const std::uint8_t* base, Dword fvf_code,
                               Dword stride) {
    const ArraySource source{base, fvf_code, stride, bound_array_, true};
    if (source == arrays_) return;
    set_arrays(l, base, stride, false);
    arrays_ = source;
}

void GlStateCache::PointPretransformed(const VertexLayout& l, const std::uint8_t* base, Dword stride,
                                       const float* positions) {
    set_arrays(l, base, stride, true);
    glVertexPointer(4, GL_FLOAT, 0, positions);
    arrays_.valid = false;
}

void GlStateCache::set_arrays(const VertexLayout& l, const std::uint8_t* base, Dword stride,
                              bool pretransformed) {
    const auto s = static_cast<GLsizei>(stride);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (!pretransformed) glVertexPointer(l.position_size, GL_FLOAT, s, base + l.position);
    if (l.normal >= 0 && !pretransformed) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, s, base + l.normal);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
        glNormal3f(0, 0, 0);
    }
    if (l.diffuse >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, base + l.diffuse);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1, 1, 1, 1);
    }
    if (l.texcoord >= 0) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, s, base + l.texcoord);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoord2f(0, 0);
    }
}

void GlStateCache::Prepare(const VertexLayout& l) {
    const int mode = l.pretransformed ? 1 : 0;
    if (mode != applied_mode_)
        changes_ |= changed::World | changed::Projection | changed::Viewport | changed::Lights;
    if ((changes_ & changed::Render) || force_all_) apply_render_states();
    if ((changes_ & changed::Stage) || force_all_) apply_stage();
    bind_texture();
    if ((changes_ & changed::Material) || force_all_) apply_material();
    if ((changes_ & (changed::World | changed::Projection | changed::Viewport)) || force_all_)
        apply_transforms(l.pretransformed);
    if ((changes_ & changed::Lights) || force_all_) apply_lights_and_planes();

    // Pre-transformed vertices are never lit; lit vertices take their diffuse colour from the vertex
    // only when it has one and the colour-source states ask for it.
    const int lighting = (!l.pretransformed && state_.render[rs::Lighting]) ? 1 : 0;
    if (lighting != applied_lighting_) {
        enable_if(GL_LIGHTING, lighting != 0);
        applied_lighting_ = lighting;
    }
    const int color_material = (lighting && l.diffuse >= 0 && state_.render[rs::ColorVertex] &&
                                state_.render[rs::DiffuseMaterialSource] == 1)
                                   ? 1
                                   : 0;
    if (color_material != applied_color_material_) {
        if (color_material) glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        enable_if(GL_COLOR_MATERIAL, color_material != 0);
        applied_color_material_ = color_material;
        // GL_COLOR_MATERIAL overwrites the diffuse colour.
        applied_material_parts_ &= ~kDiffusePart;
        if (!color_material) changes_ |= changed::Material;
    }
    if (changes_ & changed::Material) apply_material();
    force_all_ = false;
}

void GlStateCache::apply_render_states() {
    const auto& r = state_.render;
    auto& a = applied_render_;
    const bool all = force_all_;
    if (all || differs(r, a, {rs::ZEnable, rs::ZWriteEnable, rs::ZFunc})) {
        enable_if(GL_DEPTH_TEST, target_.has_depth && r[rs::ZEnable] != 0);
        glDepthMask(r[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
        glDepthFunc(gl_compare(r[rs::ZFunc]));
    }
    if (all || differs(r, a, {rs::CullMode})) {
        // The screen's y axis points down for the engine and up for GL, but the picture is the same,
        // so a face clockwise on the screen is clockwise in GL's window coordinates too.
        switch (r[rs::CullMode]) {
        case CullCw:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_BACK);
            break;
        case CullCcw:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CW);
            glCullFace(GL_BACK);
            break;
        default:
            glDisable(GL_CULL_FACE);
            break;
        }
    }
    if (all || differs(r, a, {rs::FillMode}))
        glPolygonMode(GL_FRONT_AND_BACK, r[rs::FillMode] == FillPoint       ? GL_POINT
                                         : r[rs::FillMode] == FillWireframe ? GL_LINE
                                                                            : GL_FILL);
    if (all || differs(r, a, {rs::ShadeMode})) glShadeModel(r[rs::ShadeMode] == 1 ? GL_FLAT : GL_SMOOTH);
    if (all || differs(r, a, {rs::AlphaBlendEnable, rs::SrcBlend, rs::DestBlend, rs::BlendOp})) {
        enable_if(GL_BLEND, r[rs::AlphaBlendEnable] != 0);
        glBlendFunc(gl_blend(r[rs::SrcBlend]), gl_blend(r[rs::DestBlend]));
        glBlendEquation(gl_blend_equation(r[rs::BlendOp]));
    }
    if (all || differs(r, a, {rs::AlphaTestEnable, rs::AlphaFunc, rs::AlphaRef})) {
        enable_if(GL_ALPHA_TEST, r[rs::AlphaTestEnable] != 0);
        glAlphaFunc(gl_compare(r[rs::AlphaFunc]), static_cast<float>(r[rs::AlphaRef] & 0xFF) / 255.0f);
    }
    if (all || differs(r, a,
                       {rs::FogEnable, rs::FogColor, rs::FogTableMode, rs::FogVertexMode, rs::FogStart,
                        rs::FogEnd, rs::FogDensity})) {
        const Dword mode = r[rs::FogTableMode] != FogNone ? r[rs::FogTableMode] : r[rs::FogVertexMode];
        const bool on = r[rs::FogEnable] != 0 && mode != FogNone;
        enable_if(GL_FOG, on);
        if (on) {
            glFogi(GL_FOG_MODE, mode == FogExp ? GL_EXP : mode == FogExp2 ? GL_EXP2 : GL_LINEAR);
            // The three values are floats carried in the state's 32 bits.
            glFogf(GL_FOG_DENSITY, std::bit_cast<float>(r[rs::FogDensity]));
            glFogf(GL_FOG_START, std::bit_cast<float>(r[rs::FogStart]));
            glFogf(GL_FOG_END, std::bit_cast<float>(r[rs::FogEnd]));
            float c[4];
            GlColor(r[rs::FogColor], c);
            glFogfv(GL_FOG_COLOR, c);
        }
    }
    if (all || differs(r, a,
                       {rs::StencilEnable, rs::StencilFail, rs::StencilZFail, rs::StencilPass,
                        rs::StencilFunc, rs::StencilRef, rs::StencilMask, rs::StencilWriteMask})) {
        enable_if(GL_STENCIL_TEST, target_.has_stencil && r[rs::StencilEnable] != 0);
        glStencilFunc(gl_compare(r[rs::StencilFunc]), static_cast<GLint>(r[rs::StencilRef]),
                      r[rs::StencilMask]);
        glStencilOp(gl_stencil_op(r[rs::StencilFail]), gl_stencil_op(r[rs::StencilZFail]),
                    gl_stencil_op(r[rs::StencilPass]));
        glStencilMask(r[rs::StencilWriteMask]);
    }
    if (all || differs(r, a, {rs::ZBias})) {
        // Larger biases pull the geometry towards the viewer; one step is a few depth units plus a
        // slope term so that flattened shadows stay in front of the ground they lie on.
        const auto bias = static_cast<float>(std::min<Dword>(r[rs::ZBias], 16));
        enable_if(GL_POLYGON_OFFSET_FILL, bias > 0);
        enable_if(GL_POLYGON_OFFSET_LINE, bias > 0);
        glPolygonOffset(-bias / 4.0f, -bias * 4.0f);
    }
    if (all || differs(r, a, {rs::Ambient})) {
        float c[4];
        GlColor(r[rs::Ambient], c);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, c);
    }
    if (all || differs(r, a, {rs::LocalViewer}))
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, r[rs::LocalViewer] ? 1 : 0);
    if (all || differs(r, a, {rs::NormalizeNormals})) enable_if(GL_NORMALIZE, r[rs::NormalizeNormals] != 0);
    if (all || differs(r, a, {rs::SpecularEnable}))
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL,
                      r[rs::SpecularEnable] ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
    if (all || differs(r, a, {rs::ColorWriteEnable})) {
        const Dword m = r[rs::ColorWriteEnable];
        glColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0);
    }
    if (all || differs(r, a, {rs::DitherEnable})) enable_if(GL_DITHER, r[rs::DitherEnable] != 0);
    if (all || differs(r, a, {rs::TextureFactor})) {
        float c[4];
        GlColor(r[rs::TextureFactor], c);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
    }
    a = r;
    changes_ &= ~changed::Render;
}

void GlStateCache::apply_stage() {
    const auto& s = state_.stage;
    auto& a = applied_stage_;
    const bool all = force_all_;
    if (all || s[tss::ColorOp] != a[tss::ColorOp] || s[tss::ColorArg1] != a[tss::ColorArg1] ||
        s[tss::ColorArg2] != a[tss::ColorArg2])
        set_combiner(false, s[tss::ColorOp], s[tss::ColorArg1], s[tss::ColorArg2]);
    if (all || s[tss::AlphaOp] != a[tss::AlphaOp] || s[tss::AlphaArg1] != a[tss::AlphaArg1] ||
        s[tss::AlphaArg2] != a[tss::AlphaArg2] || s[tss::ColorOp] != a[tss::ColorOp]) {
        // A disabled colour operation switches the whole stage off, alpha included.
        const Dword op = s[tss::ColorOp] == TopDisable ? TopDisable : s[tss::AlphaOp];
        set_combiner(true, op, s[tss::AlphaArg1], s[tss::AlphaArg2]);
    }
    a = s;
    changes_ &= ~changed::Stage;
}

void GlStateCache::bind_texture() {
    auto* t = dynamic_cast<GlTexture*>(state_.texture.get());
    const auto& s = state_.stage;
    const bool anisotropic = s[tss::MagFilter] == TexfAnisotropic || s[tss::MinFilter] == TexfAnisotropic;
    const SamplerState sampler{s[tss::MagFilter], s[tss::MinFilter], s[tss::MipFilter],
                               s[tss::AddressU],  s[tss::AddressV],  anisotropic ? s[tss::MaxAnisotropy] : 1};
    // Without a texture the stage reads opaque white, so operations on it leave the diffuse colour.
    // A texture of opaque white alone reads the same (unless a border colour can come in), and the
    // stand-in spares the driver a texture switch, which it pays for dearly when models alternate
    // between plain and white-textured subsets.
    const bool border = sampler.address_u == TaddressBorder || sampler.address_v == TaddressBorder;
    if (t != nullptr && !border && !platform::OptimisationsOff() && t->OpaqueWhite()) t = nullptr;
    if (t != nullptr && t->Bind(sampler, &bound_texture_)) return;
    if (bound_texture_ != target_.white_texture)
        glBindTexture(GL_TEXTURE_2D, bound_texture_ = target_.white_texture);
}

void GlStateCache::apply_material() {
    const Material& m = state_.material;
    // Subsets of one model differ in a colour or two; every part handed over makes the driver
    // rebuild its lighting constants, so unchanged parts are not handed over again.
    if (platform::OptimisationsOff()) applied_material_parts_ = 0;
    const auto send = [&](unsigned part, GLenum name, const ColorValue& value, ColorValue& applied) {
        if ((applied_material_parts_ & part) != 0 && std::memcmp(&applied, &value, sizeof value) == 0) return;
        glMaterialfv(GL_FRONT_AND_BACK, name, &value.r);
        applied = value;
        applied_material_parts_ |= part;
    };
    send(kAmbientPart, GL_AMBIENT, m.Ambient, applied_material_.Ambient);
    if (applied_color_material_ != 1) send(kDiffusePart, GL_DIFFUSE, m.Diffuse, applied_material_.Diffuse);
    send(kEmissivePart, GL_EMISSION, m.Emissive, applied_material_.Emissive);
    // Without the specular state the platform computes no highlight at all.
    send(kSpecularPart, GL_SPECULAR, state_.render[rs::SpecularEnable] ? m.Specular : ColorValue{},
         applied_material_.Specular);
    const float power = std::clamp(m.Power, 0.0f, 128.0f);
    if ((applied_material_parts_ & kPowerPart) == 0 || applied_material_.Power != power) {
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, power);
        applied_material_.Power = power;
        applied_material_parts_ |= kPowerPart;
    }
    changes_ &= ~changed::Material;
}

void GlStateCache::apply_transforms(bool pretransformed) {
    // GL's matrix mode stays at the modelview between calls.
    const Viewport& v = state_.viewport;
    const auto bb_w = static_cast<GLint>(target_.width), bb_h = static_cast<GLint>(target_.height);
    const bool all = force_all_ || applied_mode_ != (pretransformed ? 1 : 0);
    const bool projection_dirty = (changes_ & changed::Projection) != 0,
               viewport_dirty = (changes_ & changed::Viewport) != 0,
               world_dirty = (changes_ & changed::World) != 0;
    if (pretransformed) {
        if (all || projection_dirty || viewport_dirty) {
            // Pixel coordinates over the whole back buffer, y down, depth 0..1 as given; the viewport
            // still bounds what is drawn.
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, bb_w, bb_h, 0, 0, -1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glViewport(0, 0, bb_w, bb_h);
            glDepthRange(0, 1);
        }
    } else {
        if (all || projection_dirty) {
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(multiply(state_.projection, depth_to_gl()).m);
            glMatrixMode(GL_MODELVIEW);
        }
        if (all || world_dirty) glLoadMatrixf(multiply(state_.world, state_.view).m);
        if (all || viewport_dirty) {
            glViewport(static_cast<GLint>(v.X), bb_h - static_cast<GLint>(v.Y + v.Height),
                       static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
            glDepthRange(v.MinZ, v.MaxZ);
        }
    }
    if (all || viewport_dirty)
        glScissor(static_cast<GLint>(v.X), bb_h - static_cast<GLint>(v.Y + v.Height),
                  static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
    applied_mode_ = pretransformed ? 1 : 0;
    changes_ &= ~(changed::World | changed::Projection | changed::Viewport);
}

void GlStateCache::apply_lights_and_planes() {
    // Lights and clip planes are given in world space: GL takes them in eye space through the
    // modelview current when they are set, so they go over with the view alone.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(state_.view.m);
    for (int i = 0; i < target_.max_lights; ++i) {
        const GLenum id = GL_LIGHT0 + static_cast<GLenum>(i);
        const auto on = state_.light_enabled.find(static_cast<Dword>(i));
        const auto light = state_.lights.find(static_cast<Dword>(i));
        if (on == state_.light_enabled.end() || !on->second || light == state_.lights.end()) {
            glDisable(id);
            continue;
        }
        const Light& l = light->second;
        glEnable(id);
        glLightfv(id, GL_DIFFUSE, &l.Diffuse.r);
        glLightfv(id, GL_SPECULAR, &l.Specular.r);
        glLightfv(id, GL_AMBIENT, &l.Ambient.r);
        if (l.Type == LightDirectional) {
            const float dir[4] = {-l.Direction.x, -l.Direction.y, -l.Direction.z, 0.0f};
            glLightfv(id, GL_POSITION, dir);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
            glLightf(id, GL_LINEAR_ATTENUATION, 0.0f);
            glLightf(id, GL_QUADRATIC_ATTENUATION, 0.0f);
        } else {
            const float pos[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            glLightfv(id, GL_POSITION, pos);
            const bool all_zero = l.Attenuation0 == 0 && l.Attenuation1 == 0 && l.Attenuation2 == 0;
            glLightf(id, GL_CONSTANT_ATTENUATION, all_zero ? 1.0f : l.Attenuation0);
            glLightf(id, GL_LINEAR_ATTENUATION, l.Attenuation1);
            glLightf(id, GL_QUADRATIC_ATTENUATION, l.Attenuation2);
            if (l.Type == LightSpot) {
                const float dir[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                glLightfv(id, GL_SPOT_DIRECTION, dir);
                glLightf(id, GL_SPOT_CUTOFF, std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f));
                glLightf(id, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
            } else {
                glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            }
        }
    }
    // Pre-transformed vertices are not clipped by the user planes.
    const Dword mask = applied_mode_ == 1 ? 0 : state_.render[rs::ClipPlaneEnable];
    for (int i = 0; i < target_.max_clip_planes; ++i) {
        const GLenum id = GL_CLIP_PLANE0 + static_cast<GLenum>(i);
        if (mask & (1u << i)) {
            const auto& p = state_.clip_planes[static_cast<std::size_t>(i)];
            const double eq[4] = {p[0], p[1], p[2], p[3]};
            glClipPlane(id, eq);
            glEnable(id);
        } else {
            glDisable(id);
        }
    }
    glPopMatrix();
    applied_clip_mask_ = static_cast<int>(mask);
    changes_ &= ~changed::Lights;
}

} // namespace kl::gfx
