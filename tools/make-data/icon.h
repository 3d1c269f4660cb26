// The program's desktop icon: a street in perspective under a sky, painted at any size so that each
// size is drawn sharp rather than scaled.
#pragma once

#include "data_set.h"

#include <vector>

namespace kl::data {

constexpr int kIconSizes[] = {48, 128, 256};

// kelvane3d-SIZE.png for each of kIconSizes.
std::vector<DataFile> build_icons();

} // namespace kl::data
