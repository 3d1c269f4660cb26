// Turns a parsed scene into the one mesh the loader yields: frame transforms applied, n-gons split
// into fans, vertices duplicated where the file gives one vertex several normals, all meshes merged.
#pragma once

#include "platform/d3dx/xfile/mesh_data.h"
#include "platform/d3dx/xfile/xfile_scene.h"

namespace kl::platform::xfile {

// Throws XFileError when the merged mesh needs more than kMaxMeshVertices vertices.
MeshData MergeScene(const RawScene& scene);

} // namespace kl::platform::xfile
