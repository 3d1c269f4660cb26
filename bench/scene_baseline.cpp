// Frame-time yardstick for the real street: one frame of the scene is run on the recording back-end
// and its draw list copied (world-space triangles, textures, view and projection), then replayed in
// plain fixed-function OpenGL, state sorted, with one vertex buffer and one draw call per texture.
// Usage: bench_scene_baseline [--data DIR] [--roads N] [--capture-frame K] [--frames N] [--stats FILE]
// (see --help).
// The capture uses the program's own defaults (seed 1, steps of 0.033 s) and the screen size of the
// settings file it reads, as the program does with --no-dialog, so frame K is the frame the program
// draws K-th when run with --no-dialog --seed 1 --fixed-step 0.033 on the same data.
#include "command_line.h"
#include "engine/cls3d_engine.h"
#include "engine/settings_record.h"
#include "platform/d3dx/mesh.h"
#include "platform/gfx/memory_resources.h"
#include "platform/gfx/recording/recording_system.h"
#include "platform/input/scripted_input.h"
#include "platform/os/performance_counter.h"
#include "scene/run_scene.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace kl;

namespace {

// The screen size: the stored settings', as the program takes them without the dialog.
int screen_width = 1024, screen_height = 768;

struct Vertex {
    float x, y, z;
    float u, v;
    std::uint8_t rgba[4];
};

// All triangles of one texture (or of none), already in world space.
struct Batch {
    std::vector<Vertex> vertices;
    std::vector<std::uint32_t> indices;
    GLuint texture = 0, buffer = 0, index_buffer = 0;
};

struct CapturedFrame {
    gfx::Matrix view, projection;
    gfx::DeviceState first_draw; // render and stage states of the scene's draws
    std::map<const gfx::MemoryTexture*, Batch> batches;
    std::vector<gfx::TexturePtr> textures; // kept alive for the upload
    std::size_t draws = 0, triangles = 0;
};

std::uint8_t channel(float c) {
    return static_cast<std::uint8_t>(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f);
}

// Copies one mesh draw: the indexed triangles it names, moved into world space. A textured material
// shows its texture at full brightness; an untextured one its diffuse colour.
void copy_draw(CapturedFrame& f, const gfx::DeviceState& s, const gfx::Call& c) {
    auto* vb = dynamic_cast<gfx::MemoryVertexBuffer*>(s.stream.get());
    auto* ib = dynamic_cast<gfx::MemoryIndexBuffer*>(s.indices.get());
    if (vb == nullptr || ib == nullptr || c.args.size() < 5 || s.stream_stride == 0) return;
    const gfx::VertexLayout l = gfx::LayoutOf(s.fvf);
    const auto start = static_cast<std::size_t>(c.args[3]), faces = static_cast<std::size_t>(c.args[4]);
    const bool wide = ib->IndexFormat() == gfx::FmtIndex32;
    const std::uint8_t* vbytes = vb->storage.Data();
    const std::uint8_t* ibytes = ib->storage.Data();

    auto* texture = dynamic_cast<const gfx::MemoryTexture*>(s.texture.get());
    if (texture != nullptr && f.batches.find(texture) == f.batches.end()) f.textures.push_back(s.texture);
    Batch& b = f.batches[texture];
    const gfx::Material& m = s.material;
    const std::uint8_t rgba[4] = {texture ? std::uint8_t(255) : channel(m.Diffuse.r),
                                  texture ? std::uint8_t(255) : channel(m.Diffuse.g),
                                  texture ? std::uint8_t(255) : channel(m.Diffuse.b), channel(m.Diffuse.a)};
    const float* w = s.world.m;
    std::map<std::uint32_t, std::uint32_t> remap;
    for (std::size_t i = 0; i < faces * 3; ++i) {
        std::uint32_t v = 0;
        if (wide) {
            std::memcpy(&v, ibytes + (start + i) * 4, 4);
        } else {
            std::uint16_t s16 = 0;
            std::memcpy(&s16, ibytes + (start + i) * 2, 2);
            v = s16;
        }
        v += s.base_vertex;
        auto [it, fresh] = remap.emplace(v, static_cast<std::uint32_t>(b.vertices.size()));
        if (fresh) {
            const std::uint8_t* src = vbytes + std::size_t{v} * s.stream_stride;
            float p[3], uv[2] = {0, 0};
            std::memcpy(p, src + l.position, sizeof p);
            if (l.texcoord >= 0) std::memcpy(uv, src + l.texcoord, sizeof uv);
            Vertex out{p[0] * w[0] + p[1] * w[4] + p[2] * w[8] + w[12],
                       p[0] * w[1] + p[1] * w[5] + p[2] * w[9] + w[13],
                       p[0] * w[2] + p[1] * w[6] + p[2] * w[10] + w[14],
                       uv[0],
                       uv[1],
                       {rgba[0], rgba[1], rgba[2], rgba[3]}};
            b.vertices.push_back(out);
        }
        b.indices.push_back(it->second);
    }
    if (f.draws == 0) f.first_draw = s;
    f.view = s.view;
    f.projection = s.projection;
    ++f.draws;
    f.triangles += faces;
}

// Runs the scene on the recording back-end the way the program sets it up and copies frame `capture`.
bool capture_frame(std::int16_t roads, int capture, CapturedFrame* frame) {
    const auto file = ChooseSettingsFile(DataRoot());
    if (!file) return false;
    const auto read = ReadSettingsFile(*file);
    if (!read) return false;
    mdlKl::Program().Settings = *read;
    mdlKl::Program().Settings.WorldSize = 64000.0f;
    mdlKl::Program().Settings.AnisotropicFilter = 0;
    mdlKl::Program().Settings.ClearMode = 0;
    mdlKl::Program().Settings.AntiAlias = 0;
    mdlKl::Program().Settings.LastPlayer = 0;
    if (read->ResH >= 640 && read->ResV >= 480) {
        screen_width = read->ResH;
        screen_height = read->ResV;
    }
    DisplayMode mode{screen_width, screen_height, gfx::FmtX8R8G8B8};
    mdlKl::Program().Settings.SetMode(mode);

    auto sys = std::make_shared<gfx::RecordingSystem>();
    sys->adapters[0].depth_stencil_formats = {gfx::FmtD24S8, gfx::FmtD16};
    platform::FixedStepCounter counter(0.033);
    platform::ScriptedInputFactory keys{platform::KeyScript{}};
    mdlKl::Program().Engine = std::make_unique<cls3dEngine>();
    mdlKl::Program().Engine->SetGraphicsFactory([sys] { return sys; });
    mdlKl::Program().Engine->SetMessagePump([] { return true; });
    mdlKl::Program().Engine->SetAspectRatioSource(&mdlKl::Program().Settings.AspectRatio);
    mdlKl::Program().Engine->SetPerformanceCounter(counter);
    mdlKl::Program().Input = std::make_unique<clsInput>();
    mdlKl::Program().Input->SetInputFactory(keys);
    if (!mdlKl::Program().Engine->Initialize(nullptr) || !mdlKl::Program().Engine->SetRes(&mode, 0, false) ||
        !mdlKl::Program().Input->Initialize(nullptr, false, false))
        return false;
    mdlKl::Program().Rnd.seed(1);
    mdlKl::Program().Gear = 1;

    int frames_done = 0;
    sys->Control().observer = [&](const gfx::Call& c) {
        if (frames_done == capture && c.name == "DrawIndexedPrimitive")
            copy_draw(*frame, sys->LastDevice()->State(), c);
    };
    scene::SceneHooks hooks;
    hooks.MaxFrames = capture + 1;
    hooks.AfterFrame = [&](const scene::SceneState&) {
        ++frames_done;
        sys->Log().Clear();
    };
    scene::RunScene(mdlKl::Program(), {roads}, hooks);
    sys->Control().observer = nullptr;
    scene::ReleaseScene(mdlKl::Program());
    d3dx::ClearMeshFileCache();
    mdlKl::Program().Input.reset();
    mdlKl::Program().Engine.reset();
    return frame->draws > 0;
}

GLint gl_min_filter(gfx::Dword min, gfx::Dword mip) {
    const bool linear = min != gfx::TexfPoint;
    if (mip == gfx::TexfPoint) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip == gfx::TexfLinear) return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return linear ? GL_LINEAR : GL_NEAREST;
}

GLuint upload_texture(const gfx::MemoryTexture* t, const gfx::DeviceState& s) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const std::uint32_t white = 0xFFFFFFFFu;
    const gfx::Dword levels = t ? t->GetLevelCount() : 1;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels) - 1);
    for (gfx::Dword i = 0; i < levels; ++i) {
        if (t == nullptr) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
            continue;
        }
        // The program's textures come as 32-bit BGRA (X8R8G8B8 or A8R8G8B8) or 16-bit 5-6-5.
        const bool rgb565 = t->Format() == gfx::FmtR5G6B5;
        const GLint internal = t->Format() == gfx::FmtA8R8G8B8 ? GL_RGBA8 : GL_RGB8;
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), internal, static_cast<GLsizei>(t->Width(i)),
                     static_cast<GLsizei>(t->Height(i)), 0, rgb565 ? GL_RGB : GL_BGRA,
                     rgb565 ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, t->Bits(i));
    }
    const auto& st = s.stage;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    st[gfx::tss::MagFilter] == gfx::TexfPoint ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    gl_min_filter(st[gfx::tss::MinFilter], levels > 1 ? st[gfx::tss::MipFilter] : 0));
    return name;
}

// Row-vector matrices are GL's column-major arrays; depth 0..1 becomes GL's -1..1.
void load_matrices(const CapturedFrame& f) {
    float depth[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, -1, 1};
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(depth);
    glMultMatrixf(f.projection.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(f.view.m);
}

void set_states(const gfx::DeviceState& s) {
    const auto& r = s.render;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    // The meshes cull faces that run counter-clockwise on the screen.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glShadeModel(GL_SMOOTH);
    if (r[gfx::rs::AlphaBlendEnable]) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (r[gfx::rs::FogEnable]) glEnable(GL_FOG);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

} // namespace

constexpr const char* kTool = "bench_scene_baseline";
constexpr const char* kUsage =
    "Usage: bench_scene_baseline [--data DIR] [--roads N] [--capture-frame K] [--frames N] [--stats FILE]\n"
    "Captures frame K (default 150) of the street with N roads (default 1) from the data folder in DIR\n"
    "(default .) at the screen size of its settings, replays it in plain OpenGL for N frames (default 300)\n"
    "and prints the median frame time;\n"
    "--stats also writes it to FILE. Needs a display (xvfb-run).\n";

int main(int argc, char** argv) {
    std::string data = ".", stats;
    std::int16_t roads = 1;
    int capture = 150, frames = 300;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (kl::tools::IsHelpOption(key)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (kl::tools::IsVersionOption(key)) return kl::tools::PrintVersion(kTool);
        const bool known = key == "--data" || key == "--roads" || key == "--capture-frame" ||
                           key == "--frames" || key == "--stats";
        if (!known) return kl::tools::RefuseArgument(kTool, key);
        if (i + 1 >= argc || kl::tools::LooksLikeOption(argv[i + 1]))
            return kl::tools::RefuseCommandLine(kTool, key + " needs a value");
        const std::string value = argv[++i];
        if (key == "--data")
            data = value;
        else if (long n = 0; key == "--roads" && kl::tools::ParseCount(value, 0, kl::MaxRoadCount, &n))
            roads = static_cast<std::int16_t>(n);
        else if (key == "--roads")
            return kl::tools::RefuseCommandLine(kTool, key + " takes a count from 0 to 251");
        else if (key == "--stats")
            stats = value;
        else if (long count = 0; kl::tools::ParseCount(value, 1, 1'000'000, &count))
            (key == "--frames" ? frames : capture) = static_cast<int>(count);
        else
            return kl::tools::RefuseCommandLine(kTool, key + " takes a count from 1 to 1000000");
    }
    SetDataRoot(data);
    CapturedFrame frame;
    if (!capture_frame(roads, capture, &frame)) {
        std::fprintf(stderr, "bench_scene_baseline: the scene could not be captured from %s\n", data.c_str());
        return 1;
    }

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_scene_baseline: no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("baseline", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          screen_width, screen_height, SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "bench_scene_baseline: no GL context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);

    for (auto& [texture, b] : frame.batches) {
        b.texture = upload_texture(texture, frame.first_draw);
        glGenBuffers(1, &b.buffer);
        glBindBuffer(GL_ARRAY_BUFFER, b.buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.vertices.size() * sizeof(Vertex)),
                     b.vertices.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &b.index_buffer);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.index_buffer);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.indices.size() * 4), b.indices.data(),
                     GL_STATIC_DRAW);
    }
    glViewport(0, 0, screen_width, screen_height);
    load_matrices(frame);
    set_states(frame.first_draw);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);

    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    auto last = Clock::now();
    for (int n = 0; n < frames; ++n) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        for (const auto& [texture, b] : frame.batches) {
            glBindTexture(GL_TEXTURE_2D, b.texture);
            glBindBuffer(GL_ARRAY_BUFFER, b.buffer);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.index_buffer);
            glVertexPointer(3, GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
            glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
            glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex),
                           reinterpret_cast<void*>(offsetof(Vertex, rgba)));
            glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(b.indices.size()), GL_UNSIGNED_INT, nullptr);
        }
        if (n == frames - 1) {
            if (const char* shot = std::getenv("KL_BASELINE_PPM")) {
                std::vector<std::uint8_t> px(std::size_t(screen_width) * screen_height * 3);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glReadPixels(0, 0, screen_width, screen_height, GL_RGB, GL_UNSIGNED_BYTE, px.data());
                if (FILE* out = std::fopen(shot, "wb")) {
                    std::fprintf(out, "P6 %d %d 255\n", screen_width, screen_height);
                    for (int y = screen_height - 1; y >= 0; --y)
                        std::fwrite(px.data() + std::size_t(y) * screen_width * 3, 1, std::size_t(screen_width) * 3, out);
                    std::fclose(out);
                }
            }
        }
        SDL_GL_SwapWindow(window);
        const auto now = Clock::now();
        if (n > 0) times.push_back(std::chrono::duration<double>(now - last).count());
        last = now;
    }

    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"draws_copied\": %zu, \"triangles\": %zu, \"batches\": %zu, \"frames\": %d, "
                  "\"frame_seconds_median\": %.6f, \"frame_seconds_p99\": %.6f}\n",
                  frame.draws, frame.triangles, frame.batches.size(), frames, percentile(times, 0.5),
                  percentile(times, 0.99));
    std::fputs(line, stdout);
    if (!stats.empty()) std::ofstream(stats) << line;
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
