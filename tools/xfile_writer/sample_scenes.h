// Scenes written through XWriter, shared by the reader's tests, its benchmark and the fuzz seeds.
#pragma once

#include "xfile_writer/xfile_writer.h"

namespace kl::tools {

// Two frames (Root translates by (10, 0, 0); Child, inside it, turns a quarter about z:
// (x, y, z) -> (-y, x, z)) and two meshes:
// - "A" in Child: 5 vertices, a quad (0,1,2,3) and a triangle (0,3,4); normals (0,0,-1) for the
//   quad and (-1,0,0) for the triangle, so vertices 0 and 3 need copies; texture coordinates;
//   a VertexDuplicationIndices object to skip; material list of 2 with face indexes 1, 0: the
//   top-level material "Red" by reference, then an inline "Blue" with texture "Tex\Wall.BMP".
// - an unnamed mesh with a GUID in Root: 5 vertices, a triangle (0,1,2), a quad (0,2,4,3) and a
//   triangle (1,2,4); one normal (0,1,0) for all; no texture coordinates; material list of 2 with
//   the short face index list 0, 1: "Red" by reference and an inline unnamed green material.
// Two templates precede the data, one of them open.
void WriteSampleScene(XWriter& w);

// A cols x rows grid of quads in the y = 0 plane inside a translated frame, with flat normals that
// alternate between two tilts (so shared vertices split), texture coordinates, and two textured
// materials in a checkerboard.
void WriteGridMesh(XWriter& w, int cols, int rows);

} // namespace kl::tools
