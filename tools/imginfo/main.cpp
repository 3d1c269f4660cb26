// imginfo FILE...: decodes each image the way textures are loaded and prints its size, the pixel
// format a texture from it gets and its mip-level count. Exit status 1 when any file fails.
#include "platform/d3dx/texture_from_file.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: imginfo FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        kl::d3dx::TextureImage image;
        std::string error;
        if (kl::d3dx::DecodeTextureFile(argv[i], 0, 0, false, &image, &error)) {
            std::printf("%s: %dx%d format=%d levels=%zu\n", argv[i], image.width, image.height, image.format,
                        image.levels.size());
        } else {
            std::printf("%s: error: %s\n", argv[i], error.c_str());
            status = 1;
        }
    }
    return status;
}
