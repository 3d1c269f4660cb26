// The one-line summary xinfo prints for a .x file.
#pragma once

#include "platform/d3dx/xfile/xfile_reader.h"

#include <string>

namespace kl::tools {

// "FILE: vertices=N faces=N materials=N textures=A,B bounds=(x,y,z)-(x,y,z)" or "FILE: error: REASON".
std::string XInfoLine(const std::string& file, const kl::platform::XFileResult& result);

} // namespace kl::tools
