// A plain model of the RAR 2.0 packed-data reader, used only by the writer's
// own tests: it reads a stream the way the format describes, without
// buffering tricks, so that the writer can be checked before and apart from
// the library (and a disagreement between the two can be pinned on one side).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace rarwriter::model {

struct DecodeResult {
    std::string bytes;       // the bytes produced, at most the unpacked size
    bool overrun = false;    // a match ran past the unpacked size
    bool inputEnded = false; // the stream ended before the unpacked size was reached
};

// Decodes the files of one chain in order; state carries over to a file
// decoded with `solid` set, as in the library.
class StreamModel {
public:
    StreamModel();
    ~StreamModel();
    DecodeResult Decode(std::string_view packed, uint32_t unpackedSize, bool solid);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace rarwriter::model
