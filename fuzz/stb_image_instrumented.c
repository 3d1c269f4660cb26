// stb_image compiled into the image fuzz targets, so that libFuzzer is guided by the decoder's own
// branches and the sanitizers check its reads; the program itself links Debian's prebuilt libstb.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
