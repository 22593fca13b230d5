#define GL_GLEXT_PROTOTYPES 1
#include "platform/offscreen/offscreen_platform.h"

#include "platform/opengl.h"

#include <GL/glext.h>

#include <cstdio>

namespace platform::offscreen {

OffscreenPlatform::OffscreenPlatform(const OffscreenSettings &settings) : settings_(settings) {
    // The largest 4:3 rectangle centred in the frame, its sides rounded.
    pictureWidth_ = settings.width;
    pictureHeight_ = settings.height;
    const int64_t w3 = int64_t{settings.width} * 3, h4 = int64_t{settings.height} * 4;
    if (w3 > h4) pictureWidth_ = static_cast<int>((h4 + 1) / 3);
    if (w3 < h4) pictureHeight_ = static_cast<int>((w3 + 2) / 4);
    pictureX_ = (settings.width - pictureWidth_) / 2;
    pictureY_ = (settings.height - pictureHeight_) / 2;
}

OffscreenPlatform::~OffscreenPlatform() { CloseWindow(); }

void OffscreenPlatform::Fail(const std::string &why) {
    if (failure_.empty()) failure_ = why;
    finished_ = true;
}

std::optional<OpenStep> OffscreenPlatform::OpenWindow(const WindowRequest &request) {
    onEvent_ = request.onEvent;
    std::string error;
    if (!gl_.Create(settings_.width, settings_.height, &error)) {
        std::fprintf(stderr, "vandrel: %s\n", error.c_str());
        return OpenStep::Context;
    }
    // The picture's client area, told as a window system tells a new size:
    // with the first message.
    resizePending_ = true;
    glGenBuffers(2, buffers_);
    const auto bytes = static_cast<GLsizeiptr>(settings_.width) * settings_.height * 4;
    for (GLuint buffer : buffers_) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    return std::nullopt;
}

unsigned OffscreenPlatform::CloseWindow() {
    if (gl_.width() == 0) return 0;
    if (!DeliverPending()) finished_ = true;
    glDeleteBuffers(2, buffers_);
    buffers_[0] = buffers_[1] = 0;
    gl_.Destroy();
    onEvent_ = nullptr;
    return 0;
}

bool OffscreenPlatform::PollMessage(Message *message) {
    if (resizePending_) {
        resizePending_ = false;
        *message = Message{};
        Event resize{Event::Kind::Resize};
        resize.width = pictureWidth_;
        resize.height = pictureHeight_;
        if (onEvent_ != nullptr) onEvent_(resize);
        // The picture's place in the frame; the scenes clear the whole frame,
        // so the bars stay black.
        glViewport(pictureX_, pictureY_, pictureWidth_, pictureHeight_);
        return true;
    }
    if (finished_) quitCode_ = quitCode_.value_or(0);
    if (!quitCode_) return false;
    *message = Message{true, *quitCode_};
    quitCode_.reset();
    return true;
}

void OffscreenPlatform::PostQuit(int code) { quitCode_ = code; }

bool OffscreenPlatform::ReadBack(int64_t frame) {
    // Asynchronously into one buffer while the frame before, in the other,
    // is handed on.
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[frame % 2]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, settings_.width, settings_.height, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    const bool delivered = DeliverPending();
    pending_ = frame;
    return delivered;
}

bool OffscreenPlatform::DeliverPending() {
    if (pending_ < 0) return true;
    const int64_t frame = pending_;
    pending_ = -1;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[frame % 2]);
    const auto *pixels = static_cast<const uint8_t *>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
    std::string error = "cannot read the frame back from OpenGL";
    const bool taken = pixels != nullptr && settings_.sink->TakeFrame(frame, pixels, &error);
    if (pixels != nullptr) glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!taken) Fail(error);
    return taken;
}

void OffscreenPlatform::Present() {
    if (finished_) return;
    const int64_t frame = drawn_++;
    if (frame >= settings_.firstFrame && !ReadBack(frame)) return;
    std::string error;
    if (!settings_.sink->Continue(drawn_, &error)) return Fail(error);
    if (drawn_ >= settings_.endFrame) {
        if (DeliverPending()) finished_ = true;
    }
}

Answer OffscreenPlatform::ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                                         Icon) {
    std::fprintf(stderr, "vandrel: message box \"%s\": %s\n", caption != nullptr ? caption : "Error",
                 text);
    Fail(std::string("the demo stopped: ") + text);
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

void OffscreenPlatform::Exit(int code) {
    Fail("the demo asked to end the process with code " + std::to_string(code) + " at frame " +
         std::to_string(drawn_));
}

}  // namespace platform::offscreen
