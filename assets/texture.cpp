#include "assets/texture.h"

#include "platform/opengl.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr unsigned char kHeaderTemplate[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

Texture::~Texture() { delete[] data; }

bool Texture::LoadTGA(MemFile file) {
    unsigned char header[12];
    int32_t count = 0;
    ReadMem(&file, header, sizeof header, &count);
    if (count < static_cast<int32_t>(sizeof header) ||
        std::memcmp(header, kHeaderTemplate, sizeof header) != 0) {
        return false;
    }
    unsigned char info[6];
    ReadMem(&file, info, sizeof info, &count);
    if (count < static_cast<int32_t>(sizeof info)) return false;

    // The size fields change now; the old pixels would no longer match them.
    delete[] data;
    data = nullptr;
    width = info[1] * 256u + info[0];
    height = info[3] * 256u + info[2];
    const unsigned depth = info[4];
    if (width == 0 || height == 0 || (depth != 24 && depth != 32)) return false;
    bpp = depth;

    // At most 65535 x 65535 x 4 bytes: exact in 64 bits. Compared with what
    // the record still holds before anything is allocated, so a header that
    // promises more than the file carries costs nothing.
    const uint64_t bytesPerPixel = bpp / 8;
    const uint64_t imageSize = uint64_t{width} * height * bytesPerPixel;
    const int64_t remaining = int64_t{file.size} - file.pos;
    if (remaining < 0 || imageSize > static_cast<uint64_t>(remaining)) return false;

    unsigned char *pixels = new (std::nothrow) unsigned char[imageSize];
    if (pixels == nullptr) return false;
    ReadMem(&file, pixels, static_cast<int32_t>(imageSize), &count);
    if (static_cast<uint64_t>(count) != imageSize) {
        delete[] pixels;
        return false;
    }
    // Blue-green-red(-alpha) to red-green-blue(-alpha); alpha stays in place.
    for (uint64_t i = 0; i < imageSize; i += bytesPerPixel) std::swap(pixels[i], pixels[i + 2]);
    data = pixels;

    GLuint name = 0;
    glGenTextures(1, &name);
    texId = name;
    glBindTexture(GL_TEXTURE_2D, texId);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Texels are multiplied by the current colour: the scenes fade pictures
    // through the colour's alpha.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // Rows are packed tightly; with OpenGL's default 4-byte row alignment a
    // 24-bit row whose length is not a multiple of 4 would be read skewed and
    // past the end of the buffer.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0,
                 bpp == 24 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE, data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    return true;
}

bool LoadPicture(PackFile &pack, const char *path, Texture &texture) {
    MemFile file = pack.Load(path);
    const bool loaded = texture.LoadTGA(file);
    FreeMem(&file);
    return loaded;
}
