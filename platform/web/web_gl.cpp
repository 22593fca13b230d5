// The GL layer of the browser build: the demo's OpenGL 1.1 calls, unchanged,
// on WebGL 1.
//
// Emscripten's GL emulation (-sLEGACY_GL_EMULATION) already turns immediate
// mode, the matrix stack, the current colour with GL_MODULATE and
// gluPerspective into WebGL. What it passes straight to WebGL is fixed here.
// The program is linked with --wrap for each function below, so every call
// the demo makes to glX arrives at __wrap_glX, and __real_glX is the
// emulation's own function (see CMakeLists.txt).
#include <GL/gl.h>

#include <cstddef>
#include <vector>

extern "C" {

void __real_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                         GLsizei height, GLint border, GLenum format, GLenum type,
                         const void *pixels);
void __real_glHint(GLenum target, GLenum mode);
void __real_glShadeModel(GLenum mode);

namespace {

bool IsPowerOfTwo(GLsizei n) { return n > 0 && (n & (n - 1)) == 0; }

bool IsMipmapFilter(GLint filter) {
    return filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_LINEAR_MIPMAP_NEAREST ||
           filter == GL_NEAREST_MIPMAP_LINEAR || filter == GL_LINEAR_MIPMAP_LINEAR;
}

// An internal format without alpha: the texture's alpha reads as 1 whatever
// the pixels carry.
bool DropsAlpha(GLint internalFormat) {
    switch (internalFormat) {
    case 3: case GL_RGB: case GL_R3_G3_B2: case GL_RGB4: case GL_RGB5: case GL_RGB8:
    case GL_RGB10: case GL_RGB12: case GL_RGB16:
        return true;
    default:
        return false;
    }
}

// Bytes from one row's start to the next's under the unpack alignment.
size_t RowStride(GLsizei width, size_t bytesPerPixel) {
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    if (alignment < 1) alignment = 1;
    const size_t row = static_cast<size_t>(width) * bytesPerPixel;
    return (row + static_cast<size_t>(alignment) - 1) / static_cast<size_t>(alignment) *
           static_cast<size_t>(alignment);
}

}  // namespace

// WebGL 1 has no sized internal formats (GL_RGB8, GL_RGBA8, ...): the
// internal format must equal the pixel format, or nothing is uploaded. So the
// pixel format is passed as both. Where the requested internal format has no
// alpha but the pixels do (the demo's 32-bit pictures go up as GL_RGB8), a
// copy with every alpha at 255 is uploaded instead, so that texels read with
// alpha 1 as they do in OpenGL 1.1: with blending on, a picture's own alpha
// would otherwise show through.
//
// A texture whose sides are not powers of two samples as black in WebGL 1
// unless it repeats no texels (wrap GL_CLAMP_TO_EDGE) and has no mipmaps.
// The demo draws every picture once across a quad with texture coordinates
// in 0..1, where clamping and repeating give the same texels.
void __wrap_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                         GLsizei height, GLint border, GLenum format, GLenum type,
                         const void *pixels) {
    if (target == GL_TEXTURE_2D && level == 0 && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height))) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        GLint minFilter = GL_NEAREST_MIPMAP_LINEAR;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        if (IsMipmapFilter(minFilter)) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    if (format == GL_RGBA && type == GL_UNSIGNED_BYTE && pixels != nullptr && width > 0 &&
        height > 0 && DropsAlpha(internalFormat)) {
        const size_t stride = RowStride(width, 4);
        const auto *source = static_cast<const unsigned char *>(pixels);
        std::vector<unsigned char> opaque(source, source + stride * static_cast<size_t>(height));
        for (size_t row = 0; row < static_cast<size_t>(height); ++row) {
            for (size_t x = 0; x < static_cast<size_t>(width); ++x) opaque[row * stride + x * 4 + 3] = 255;
        }
        __real_glTexImage2D(target, level, GL_RGBA, width, height, border, format, type, opaque.data());
        return;
    }
    __real_glTexImage2D(target, level, static_cast<GLint>(format), width, height, border, format,
                        type, pixels);
}

// WebGL interpolates in perspective always and knows no such hint; passed
// on, the hint would be refused with a console warning.
void __wrap_glHint(GLenum target, GLenum mode) {
    if (target == GL_PERSPECTIVE_CORRECTION_HINT) return;
    __real_glHint(target, mode);
}

// WebGL shades smoothly always, which is what GL_SMOOTH asks for; only a
// request for flat shading goes on to the emulation (which cannot honour it
// and says so).
void __wrap_glShadeModel(GLenum mode) {
    if (mode == GL_SMOOTH) return;
    __real_glShadeModel(mode);
}

}  // extern "C"
