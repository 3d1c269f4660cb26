// Data files that could not be loaded are said on stderr, once each, so that a damaged data folder
// does not pass for a plain-looking scene.
#pragma once

#include <string>

namespace kl::platform {

// Writes "kelvane3d: cannot load FILE: REASON" the first time FILE is named; later calls for the
// same FILE (the same mesh behind 400 buildings) say nothing.
void ReportUnloadableFile(const std::string& file, const std::string& reason);

} // namespace kl::platform
