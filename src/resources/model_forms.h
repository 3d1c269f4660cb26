// A model's geometry laid out for drawing many copies at once: each subset with its own copy of the
// vertices its triangles use, numbered from 0; a coarse form for copies a few pixels across and a box
// form for copies a pixel or two across.
#pragma once

#include "platform/gfx/types.h"
#include "resources/cls3d_object.h"

#include <cstdint>
#include <vector>

namespace kl {

// The ways a triangle can face, kept apart so that a copy of a form can leave out the triangles
// turned away from the eye: the 26 directions from a cube's centre through the middles of its faces
// and edges and through its corners, and one more for triangles without area, which always go out.
constexpr int kFacings = 27;
constexpr int kNoFacing = kFacings - 1;

struct ModelForm {
    // A subset's triangles of one facing, and the vertices only they use, each a run of its own.
    struct Part {
        int facing = kNoFacing;
        std::uint32_t first_vertex = 0, vertex_count = 0;
        std::uint32_t first_index = 0, index_count = 0;
    };
    struct Subset {
        std::vector<std::uint8_t> vertices; // vertex bytes in the model's vertex format
        std::uint32_t vertex_count = 0;
        std::vector<std::uint32_t> indices; // three per triangle, into this subset's vertices
        std::vector<Part> parts;            // after SortByFacing; empty before
    };
    // Per facing, over every subset: its direction, how far (sine and cosine of the angle) the
    // outward normal of any of its triangles strays from it, and the least distance along it of any
    // corner of those triangles: an eye nearer than that along it is behind every one of them.
    struct Facing {
        float direction[3] = {0, 0, 0};
        float cos_spread = 1, sin_spread = 0;
        float nearest = 0;
    };
    std::vector<Subset> subsets;    // one per material, in material order
    std::uint32_t vertex_count = 0; // of all subsets together
    // A form of its own look: subset j drawn with the states of subset states_from of the model
    // and materials[j], whatever the model's subsets' own would be; empty for the model's own look.
    std::vector<Material> materials;
    std::int32_t states_from = 0;
    // After SortByFacing: the facings, and a sphere around every vertex.
    Facing facings[kFacings];
    float centre[3] = {0, 0, 0};
    float radius = 0;
};

// Subsets 0 .. subsets - 1 of the copy; false when an index points past its vertices.
bool MakeModelForm(const MeshCopy& copy, std::int32_t subsets, ModelForm& form);

// The model's bounding box, each of its six faces drawn with the mean of the model's materials as
// seen from that side (each weighted by the area its triangles turn that way), with the other
// states of the model's largest subset: a vehicle a few pixels across keeps its size and about its
// colours for a twentieth of the vertices. False for a model without triangles.
bool MakeBoxForm(const ModelForm& full, const std::vector<Material>& materials, std::uint32_t stride,
                 const gfx::VertexLayout& layout, ModelForm& box);

// The model with its detail below a grid cell dropped: cells cubes across the model's longest side;
// within each subset, the corners that share a cell, turn about the same way and lie on about the
// same plane merge into one at their mean, and triangles left without area go. Each subset keeps
// its material and states, and flat faces stay in their planes, so what lies a centimetre proud of
// a face (windows, lamps) still shows. False when nothing would be saved or no triangle is left.
bool MakeCoarseForm(const ModelForm& full, std::uint32_t stride, const gfx::VertexLayout& layout,
                    std::uint32_t cells, ModelForm& coarse);

// Reorders each subset's triangles into parts by the way they face (the outward normal, (b - a) x
// (c - a), as the device's culling sees them), each part with its own copy of the vertices it uses,
// and fills the facings and the sphere. The picture is the same; a copy can then skip the parts the
// device would cull. False for a form with a position that is not finite.
bool SortByFacing(ModelForm& form, std::uint32_t stride);

} // namespace kl
