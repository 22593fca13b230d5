// Uncompressed 24- and 32-bit TGA pictures turned into OpenGL textures.
//
// Accepted files: an 18-byte header whose first 12 bytes are
// 0 0 2 0 0 0 0 0 0 0 0 0 (no image ID, no colour map, type 2 = uncompressed
// true-colour, origin 0,0), a little-endian width and height (both non-zero),
// a depth of 24 or 32 bits and a descriptor byte that is ignored (a top-left
// origin is uploaded in file row order, unflipped); then width x height
// pixels stored blue, green, red (then alpha). Anything else is refused.
//
// Main thread only, with the OpenGL context that should own the texture
// current.
#pragma once

#include <cstdint>

#include "assets/pack_file.h"

// A decoded TGA picture and its OpenGL texture name.
class Texture {
public:
    constexpr Texture() = default;
    // Releases the pixel buffer; the OpenGL texture goes with its context.
    ~Texture();
    Texture(const Texture &) = delete;
    Texture &operator=(const Texture &) = delete;

    // Decodes the TGA picture in `file` (the loader reads its own copy and
    // does not release the buffer) and uploads it as a new OpenGL texture:
    // filters GL_NEAREST, environment mode GL_MODULATE, internal format
    // GL_RGB8 (alpha reads as 1; only the current colour fades a picture).
    // Returns true when a texture was made.
    //
    // Refused (false, nothing uploaded, `texId` unchanged): fewer than 18
    // header bytes, a header other than the accepted one, a zero width or
    // height, a depth other than 24 or 32, pixel data shorter than the header
    // promises, or a buffer that cannot be allocated. Once all 18 header
    // bytes are there and the first 12 are the accepted ones, `width` and
    // `height` take the values read even if the picture is then refused;
    // `bpp` changes only for an accepted depth.
    // From that point the previous pixel buffer is released, so `data` is
    // either null or holds exactly width x height x bpp/8 bytes.
    bool LoadTGA(MemFile file);

    unsigned char *data = nullptr;  // pixels, file row order, RGB(A) bytes
    uint32_t bpp = 0;               // 24 or 32
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t texId = 0;             // OpenGL texture name; 0 until a load succeeds
};

// Loads `path` from `pack` into `texture` and releases the file buffer once
// the picture is uploaded. Returns LoadTGA's result (false for a missing file).
bool LoadPicture(PackFile &pack, const char *path, Texture &texture);
