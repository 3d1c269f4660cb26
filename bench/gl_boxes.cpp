// Frame-time baseline: the same N textured, lit boxes drawn through the OpenGL back-end and through
// raw fixed-function OpenGL, one draw call per box, in the same window. Prints the median frame
// times and their ratio (the back-end should stay within 10% of raw GL).
// Usage: bench_gl_boxes [BOXES [FRAMES]] (see --help); run under xvfb-run or with SDL_VIDEODRIVER=offscreen.
#include "command_line.h"
#include "platform/gfx/device_state.h"
#include "platform/gfx/gl/gl_backend.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace kl::gfx;

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

// A unit box: 24 vertices (4 per face, own normals) and 36 indices.
void make_box(std::vector<Vertex>* v, std::vector<std::uint16_t>* idx) {
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 6; ++f) {
        const float* d = n[f];
        // two axes spanning the face
        const float a[3] = {std::fabs(d[0]) > 0 ? 0.0f : 1.0f, 0.0f, std::fabs(d[0]) > 0 ? 1.0f : 0.0f};
        float b[3] = {d[1] * a[2] - d[2] * a[1], d[2] * a[0] - d[0] * a[2], d[0] * a[1] - d[1] * a[0]};
        if (std::fabs(d[1]) > 0) b[0] = 0, b[1] = 0, b[2] = 1;
        const auto base = static_cast<std::uint16_t>(v->size());
        for (int k = 0; k < 4; ++k) {
            const float s = (k & 1) ? 0.5f : -0.5f, t = (k & 2) ? 0.5f : -0.5f;
            v->push_back({d[0] * 0.5f + a[0] * s + b[0] * t, d[1] * 0.5f + a[1] * s + b[1] * t,
                          d[2] * 0.5f + a[2] * s + b[2] * t, d[0], d[1], d[2], (k & 1) ? 1.0f : 0.0f,
                          (k & 2) ? 1.0f : 0.0f});
        }
        for (int k : {0, 1, 2, 1, 3, 2})
            idx->push_back(static_cast<std::uint16_t>(base + k));
    }
}

Matrix translate_rotate(float x, float y, float z, float angle) {
    Matrix m = IdentityMatrix();
    m.m[0] = std::cos(angle);
    m.m[2] = -std::sin(angle);
    m.m[8] = std::sin(angle);
    m.m[10] = std::cos(angle);
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

Matrix perspective() {
    Matrix m;
    const float ys = 1.0f / std::tan(0.785398f / 2), xs = ys / (float(kWidth) / kHeight), zn = 1, zf = 500;
    m.m[0] = xs;
    m.m[5] = ys;
    m.m[10] = zf / (zf - zn);
    m.m[11] = 1;
    m.m[14] = -zn * zf / (zf - zn);
    return m;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i * 4 + j] += a.m[i * 4 + k] * b.m[k * 4 + j];
    return r;
}

std::vector<Matrix> placements(int boxes) {
    std::vector<Matrix> worlds;
    const int side = static_cast<int>(std::ceil(std::sqrt(boxes)));
    for (int i = 0; i < boxes; ++i)
        worlds.push_back(translate_rotate(float(i % side - side / 2) * 2.0f,
                                          float(i / side - side / 2) * 2.0f, float(side) * 2.5f,
                                          float(i) * 0.1f));
    return worlds;
}

std::vector<std::uint32_t> texels() {
    std::vector<std::uint32_t> t(64 * 64);
    for (int i = 0; i < 64 * 64; ++i)
        t[i] = ((i / 64 / 8 + i % 64 / 8) & 1) ? 0xFFE0C080u : 0xFF406080u;
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double now_ms() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Pixels that are not the clear colour: both paths must really draw the boxes.
long covered(Device& device) {
    const auto px = ReadBackBuffer(device, 0, 0, kWidth, kHeight);
    if (const char* dump = std::getenv("KL_BENCH_DUMP")) {
        static int n = 0;
        char name[256];
        std::snprintf(name, sizeof name, "%s-%d.ppm", dump, n++);
        if (FILE* f = std::fopen(name, "wb")) {
            std::fprintf(f, "P6 %d %d 255\n", kWidth, kHeight);
            for (std::uint32_t c : px) {
                const unsigned char rgb[3] = {static_cast<unsigned char>(c >> 16),
                                              static_cast<unsigned char>(c >> 8),
                                              static_cast<unsigned char>(c)};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    }
    return static_cast<long>(
        std::count_if(px.begin(), px.end(), [](std::uint32_t c) { return (c & 0xFFFFFF) != 0x202040; }));
}

} // namespace

constexpr const char* kUsage =
    "Usage: bench_gl_boxes [BOXES [FRAMES]]\n"
    "Draws BOXES textured, lit boxes (default 400, up to 100000) for FRAMES frames a round (default 60)\n"
    "through the OpenGL back-end and through raw OpenGL, and prints both median frame times and their\n"
    "ratio. Needs a display (xvfb-run, or SDL_VIDEODRIVER=offscreen).\n";

int main(int argc, char** argv) {
    long counts[2] = {400, 60};
    int given = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (kl::tools::IsHelpOption(arg)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (kl::tools::IsVersionOption(arg)) return kl::tools::PrintVersion("bench_gl_boxes");
        if (kl::tools::LooksLikeOption(arg) || given == 2)
            return kl::tools::RefuseArgument("bench_gl_boxes", arg);
        if (!kl::tools::ParseCount(arg, 1, 100'000, &counts[given++]))
            return kl::tools::RefuseCommandLine("bench_gl_boxes",
                                                "not a count from 1 to 100000: '" + std::string(arg) + "'");
    }
    const int boxes = static_cast<int>(counts[0]);
    const int frames = static_cast<int>(counts[1]);
    auto sys = CreateGlGraphicsSystem();
    auto* window = sys ? CreateRenderWindow("bench", kWidth, kHeight, false) : nullptr;
    if (!window) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    PresentParameters p;
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = FmtX8R8G8B8;
    p.Windowed = true;
    p.hDeviceWindow = window;
    p.EnableAutoDepthStencil = true;
    p.AutoDepthStencilFormat = FmtD24S8;
    DevicePtr device;
    if (sys->CreateDevice(0, DevTypeHal, window, CreateHardwareVertexProcessing, &p, &device) !=
        kl::platform::Status::Ok) {
        std::fprintf(stderr, "no device\n");
        return 1;
    }
    std::vector<Vertex> verts;
    std::vector<std::uint16_t> idx;
    make_box(&verts, &idx);
    const auto worlds = placements(boxes);
    const auto tex_pixels = texels();
    const Matrix proj = perspective();
    Light light;
    light.Type = LightDirectional;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0.3f, -0.5f, 1};
    Material mat;
    mat.Diffuse = mat.Ambient = {1, 1, 1, 1};

    std::vector<double> backend_ms, raw_ms;
    long backend_covered = 0, raw_covered = 0;
    for (int round = 0; round < 3; ++round) {
        device->Reset(&p); // a fresh context, so neither path inherits the other's GL state
        TexturePtr tex;
        VertexBufferPtr vb;
        IndexBufferPtr ib;
        device->CreateTexture(64, 64, 1, 0, FmtA8R8G8B8, PoolManaged, &tex);
        LockedRect lr;
        tex->LockRect(0, &lr, nullptr, 0);
        std::memcpy(lr.pBits, tex_pixels.data(), tex_pixels.size() * 4);
        tex->UnlockRect(0);
        std::uint8_t* bytes = nullptr;
        device->CreateVertexBuffer(Dword(verts.size() * sizeof(Vertex)), 0, 0x112, PoolManaged, &vb);
        vb->Lock(0, 0, &bytes, 0);
        std::memcpy(bytes, verts.data(), verts.size() * sizeof(Vertex));
        vb->Unlock();
        device->CreateIndexBuffer(Dword(idx.size() * 2), 0, FmtIndex16, PoolManaged, &ib);
        ib->Lock(0, 0, &bytes, 0);
        std::memcpy(bytes, idx.data(), idx.size() * 2);
        ib->Unlock();
        device->SetTransform(TsProjection, proj);
        device->SetTransform(TsView, IdentityMatrix());
        device->SetLight(0, light);
        device->LightEnable(0, true);
        device->SetMaterial(mat);
        device->SetRenderState(rs::Ambient, 0xFF303030);
        device->SetTextureStageState(0, tss::MagFilter, TexfLinear);
        device->SetTextureStageState(0, tss::MinFilter, TexfLinear);
        for (int f = 0; f < frames; ++f) {
            const double t0 = now_ms();
            device->Clear(0, nullptr, ClearTarget | ClearZBuffer, 0xFF202040, 1.0f, 0);
            device->BeginScene();
            for (const Matrix& w : worlds) {
                // What an engine object does per draw: its world, its texture, its buffers.
                device->SetTransform(TsWorld, w);
                device->SetTexture(0, tex);
                device->SetVertexShader(0x112);
                device->SetStreamSource(0, vb, sizeof(Vertex));
                device->SetIndices(ib, 0);
                device->SetRenderState(rs::CullMode, CullCcw);
                device->DrawIndexedPrimitive(PtTriangleList, 0, 24, 0, 12);
            }
            device->EndScene();
            if (f == frames - 1) backend_covered = covered(*device);
            device->Present(nullptr, nullptr, nullptr, nullptr);
            glFinish();
            if (f > 2) backend_ms.push_back(now_ms() - t0);
            SDL_PumpEvents();
        }
        tex.reset();
        vb.reset();
        ib.reset();

        // Raw GL: the same boxes with fixed-function state set once.
        device->Reset(&p);
        GLuint gtex = 0, gvb = 0, gib = 0;
        glGenTextures(1, &gtex);
        glBindTexture(GL_TEXTURE_2D, gtex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, tex_pixels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glEnable(GL_TEXTURE_2D);
        glGenBuffers(1, &gvb);
        glBindBuffer(GL_ARRAY_BUFFER, gvb);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(verts.size() * sizeof(Vertex)), verts.data(),
                     GL_STATIC_DRAW);
        glGenBuffers(1, &gib);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gib);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(idx.size() * 2), idx.data(), GL_STATIC_DRAW);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glNormalPointer(GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(12));
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(24));
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const float dir[4] = {-0.3f, 0.5f, -1, 0}, white[4] = {1, 1, 1, 1}, amb[4] = {0.19f, 0.19f, 0.19f, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, dir);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, amb);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
        glMatrixMode(GL_PROJECTION);
        Matrix gl_proj = proj;
        gl_proj.m[10] = 2 * proj.m[10] - proj.m[11];
        gl_proj.m[14] = 2 * proj.m[14] - proj.m[15];
        glLoadMatrixf(gl_proj.m);
        glMatrixMode(GL_MODELVIEW);
        glViewport(0, 0, kWidth, kHeight);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.125f, 0.125f, 0.25f, 1);
        for (int f = 0; f < frames; ++f) {
            const double t0 = now_ms();
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            for (const Matrix& w : worlds) {
                glLoadMatrixf(multiply(w, IdentityMatrix()).m);
                glDrawElements(GL_TRIANGLES, GLsizei(idx.size()), GL_UNSIGNED_SHORT, nullptr);
            }
            if (f == frames - 1) raw_covered = covered(*device);
            SDL_GL_SwapWindow(window);
            glFinish();
            if (f > 2) raw_ms.push_back(now_ms() - t0);
            SDL_PumpEvents();
        }
        glDeleteBuffers(1, &gvb);
        glDeleteBuffers(1, &gib);
        glDeleteTextures(1, &gtex);
    }
    const double b = median(backend_ms), r = median(raw_ms);
    std::printf("boxes=%d frames=%zu+%zu backend_median_ms=%.3f raw_gl_median_ms=%.3f ratio=%.3f "
                "covered_pixels backend=%ld raw=%ld\n",
                boxes, backend_ms.size(), raw_ms.size(), b, r, r > 0 ? b / r : 0.0, backend_covered,
                raw_covered);
    device.reset();
    DestroyRenderWindow(window);
    return 0;
}
