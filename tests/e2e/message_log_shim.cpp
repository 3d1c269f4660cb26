// Preloaded into the program by the end-to-end tests: every error box it shows is also written as
// one line "TITLE|TEXT" to the file named by KL_TEST_MESSAGE_LOG, then shown as usual, so a test
// can check the exact text and count the boxes while it still answers them like a user. With
// KL_TEST_GL_LOG set, every OpenGL context made is also written there as "context|WINDOW CAPTION",
// so a test can tell that a lost device really was made anew.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

extern "C" int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message,
                                        SDL_Window* window) {
    if (const char* log = std::getenv("KL_TEST_MESSAGE_LOG")) {
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "%s|%s\n", title ? title : "", message ? message : "");
            std::fclose(f);
        }
    }
    using Show = int (*)(Uint32, const char*, const char*, SDL_Window*);
    const auto real = reinterpret_cast<Show>(dlsym(RTLD_NEXT, "SDL_ShowSimpleMessageBox"));
    return real != nullptr ? real(flags, title, message, window) : -1;
}

extern "C" SDL_GLContext SDL_GL_CreateContext(SDL_Window* window) {
    using Create = SDL_GLContext (*)(SDL_Window*);
    const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "SDL_GL_CreateContext"));
    SDL_GLContext context = real != nullptr ? real(window) : nullptr;
    const char* log = std::getenv("KL_TEST_GL_LOG");
    if (context != nullptr && log != nullptr) {
        if (std::FILE* f = std::fopen(log, "a")) {
            const char* caption = window != nullptr ? SDL_GetWindowTitle(window) : "";
            std::fprintf(f, "context|%s\n", caption != nullptr ? caption : "");
            std::fclose(f);
        }
    }
    return context;
}
