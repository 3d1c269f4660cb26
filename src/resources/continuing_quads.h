// Long flat surfaces modelled as a row of squares (a road strip: one square of tarmac after another,
// its texture starting afresh on each) cost the software rasteriser once per square and per screen
// tile it crosses. Towards the horizon hundreds of such squares fall into the same few rows of
// pixels, and that cost is spent many times over for a handful of pixels. Squares that continue one
// another are the same surface; drawn as one, they give the same pixels.
#pragma once

#include "resources/cls3d_object.h"

#include <limits>

namespace kl {

// Merges, subset by subset, the quads of a copy that continue one another into one. A quad is two
// triangles (a, b, c) and (a, c, d) that follow one another in the index list, whose corners form a
// parallelogram. Two quads merge when they share a whole edge, their other sides run on in straight
// lines, and everything a corner carries besides its position and first texture coordinates is the
// same at all eight corners; the texture coordinates of the second must be those of the first
// carried on along the surface, shifted by the same whole number at every corner, so that a
// repeating texture (the device's default addressing, which no mesh changes) samples the same texel
// at every point. Lighting that depends on where a corner lies (point lights, specular highlights)
// would be interpolated over the longer quad instead; the scene's meshes are lit by no light.
// Quads that lie level (normal along y, the up of a mesh) merge only up to longest_level: they are
// what the traffic stands on. Near the horizon a far vehicle's lowest pixels and the surface under
// them are a step or two of the depth buffer apart, and a quad merged over kilometres rounds its
// depth there differently from the squares, which shows or hides other pixels of the far vehicles.
// Returns how many quads were merged away; the copy keeps its subsets and unmerged triangles, and is
// left as it was when the merged quads' corners would not fit 16-bit indices.
std::size_t MergeContinuingQuads(MeshCopy& copy,
                                 float longest_level = std::numeric_limits<float>::infinity());

} // namespace kl
