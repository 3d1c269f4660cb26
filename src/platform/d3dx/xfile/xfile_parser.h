// Reads the data objects of a .x file from a token stream into a RawScene: frames, meshes, their
// normals, texture coordinates and material lists; templates and unknown objects are passed over.
#pragma once

#include "platform/d3dx/xfile/xfile_scene.h"
#include "platform/d3dx/xfile/xfile_tokens.h"

namespace kl::platform::xfile {

// Objects nest at most this deep (frames in frames, unknown objects included); deeper files fail.
inline constexpr int kMaxNesting = 64;

// Throws XFileError with the reason on malformed content.
RawScene ParseScene(TokenSource& tokens);

} // namespace kl::platform::xfile
