// The demo's 22 pictures: one global `Texture` per picture file, known by the
// file's stem (texture I4 comes from "data/I4.tga"), and the start-up step
// that fills them from the pack "data.dat" and loose files.
//
// Main thread only, with the rendering context that should own the textures
// current.
#pragma once

#include <array>

#include "assets/texture.h"

namespace textures {

extern Texture start, start1;
extern Texture I1, I2, I3, I4, I5, I6, I7, I8, I9, I10, I11, I12, I13, I14, I15, I16, I17;
extern Texture sta, stab, stag;

}  // namespace textures

// One picture of the set: where it is loaded from and the texture it fills.
struct TextureSlot {
    const char *path;
    Texture *texture;
};

// All 22 pictures in the order start-up loads them. I15, sta, stab and stag
// are loaded like the others although no scene draws them.
extern const std::array<TextureSlot, 22> textureLoadOrder;

// Opens the global pack on "data.dat" in the platform's content folder (a
// missing pack is not an error: loose files there are still found) and loads
// every picture of `textureLoadOrder`, in that order, into its texture in the current rendering context. File buffers
// are released once their pictures are uploaded. A picture that is missing or
// refused leaves its texture with name 0, so scenes draw its quad untextured;
// names from an earlier run are dropped first, since they belonged to a
// rendering context that no longer exists.
void LoadTextureSet();
