// imginfo [--png OUT.png] FILE...: decodes each image the way textures are loaded and prints its
// size, the pixel format a texture from it gets and its mip-level count. --png also writes the decoded
// pixels (before the texture's format conversion) as an 8-bit RGBA PNG, to compare with another
// program's decode; with several files, OUT gets the file's number before its extension.
// Exit status 1 when any file fails, 2 on a bad command line.
#include "command_line.h"
#include "platform/d3dx/texture_from_file.h"

#include <cstdio>
#include <stb_image_write.h>
#include <string>
#include <vector>

namespace {

constexpr const char* kTool = "imginfo";
constexpr const char* kUsage =
    "Usage: imginfo [--png OUT.png] [--] FILE...\n"
    "Decodes each image (BMP, TGA, PNG, JPEG) the way textures are loaded and prints its size, the\n"
    "pixel format a texture made from it gets and its mip-level count.\n\n"
    "  --png OUT.png   also write the decoded pixels as an 8-bit RGBA PNG; with several files\n"
    "                  OUT gets the file's number before its extension (OUT-1.png, ...)\n"
    "  --help          show this text and exit (also -h)\n"
    "  --version       show the name and version and exit\n"
    "  --              ends the options (for a FILE starting with '-')\n\n"
    "Exit status: 0 when every file decoded, 1 when one did not, 2 for a bad command line.\n";

std::string numbered(const std::string& out, std::size_t index, std::size_t count) {
    if (count == 1) return out;
    const std::size_t dot = out.rfind('.');
    const std::string stem = dot == std::string::npos ? out : out.substr(0, dot);
    return stem + "-" + std::to_string(index + 1) + (dot == std::string::npos ? "" : out.substr(dot));
}

} // namespace

int main(int argc, char** argv) {
    std::string png;
    std::vector<std::string> files;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && kl::tools::IsHelpOption(arg)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!options_ended && kl::tools::IsVersionOption(arg)) {
            return kl::tools::PrintVersion(kTool);
        } else if (!options_ended && arg == "--png") {
            // The PNG's name is never taken from what reads as an option: "--png --help" is a slip.
            if (i + 1 >= argc || kl::tools::LooksLikeOption(argv[i + 1]))
                return kl::tools::RefuseCommandLine(kTool, "--png needs a file name");
            png = argv[++i];
        } else if (!options_ended && kl::tools::LooksLikeOption(arg)) {
            return kl::tools::RefuseArgument(kTool, arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return kl::tools::RefuseCommandLine(kTool, "no file given");
    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const char* name = files[i].c_str();
        kl::d3dx::DecodedImage decoded;
        std::string error;
        if (!kl::d3dx::ReadImageFile(files[i], &decoded, &error)) {
            std::printf("%s: error: %s\n", name, error.c_str());
            status = 1;
            continue;
        }
        kl::d3dx::TextureImage image;
        kl::d3dx::MakeTextureImage(decoded, 0, 0, false, &image);
        std::printf("%s: %dx%d format=%d levels=%zu\n", name, image.width, image.height, image.format,
                    image.levels.size());
        if (png.empty()) continue;
        const std::string out = numbered(png, i, files.size());
        if (stbi_write_png(out.c_str(), decoded.width, decoded.height, 4, decoded.rgba.data(),
                           decoded.width * 4) == 0) {
            std::fprintf(stderr, "imginfo: cannot write %s\n", out.c_str());
            status = 1;
        }
    }
    return status;
}
