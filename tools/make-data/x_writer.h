// DirectX .x files in the text form "xof 0303txt 0032": one top-level Mesh with its normals,
// texture coordinates and material list, materials written inline.
#pragma once

#include "mesh.h"

#include <string>

namespace kl::data {

std::string write_x_text(const Mesh& mesh);

} // namespace kl::data
