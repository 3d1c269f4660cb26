// Builds the slot list of the scene's texture table.
#include "texture_table.h"

#include <cstdio>

namespace kl::data {

std::string facade_texture_name(int group, int index) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "3c-%02d-%02d.jpg", group, index);
    return buf;
}

std::vector<std::string> scene_texture_names() {
    std::vector<std::string> names{kSkyTexture, kGroundTexture};
    for (int g = 0; g < kFacadeGroups; ++g)
        for (int k = 1; k <= kFacadeGroupSizes[static_cast<std::size_t>(g)]; ++k)
            names.push_back(facade_texture_name(g + 1, k));
    names.push_back(kRoadTexture);
    names.push_back(kWhiteTexture);
    return names;
}

} // namespace kl::data
