// The soundtrack's composition: a piece in A minor at 120 beats a minute
// whose sections start where the demo's scenes change, so the music turns
// with the pictures. ComposeSong lists every note; RenderSong plays them
// through the synthesiser.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "synth.h"

namespace content {

// Long enough to outlast the demo's two minutes; the last seconds fade out.
inline constexpr double kSongSeconds = 128.0;
inline constexpr double kFadeStart = 120.0;
inline constexpr double kBeatSeconds = 0.5;  // 120 beats a minute, 4 beats a bar

struct SectionInfo {
    double start, end;  // seconds
    std::string name;   // short musical name
    std::string scene;  // what the demo shows meanwhile
    std::string music;  // what plays
};

const std::vector<SectionInfo> &SongSections();

// One note of a written melody: a MIDI pitch (or -1 for a rest) and a
// length in sixteenth notes.
struct MelodyNote {
    int pitch;
    int sixteenths;
};

// Parses "E5:4 D5:2 r:2 C#5:8": note name (C to B, with # or b), octave
// 0..8, colon, length in sixteenths 1..64; "r" is a rest.
// Throws std::invalid_argument naming the bad token.
std::vector<MelodyNote> ParseMelody(std::string_view text);

// Every note of the piece, in no particular order.
std::vector<NoteEvent> ComposeSong();

// The whole piece as interleaved stereo floats at kSampleRate, peak at
// -1 dBFS, fading to silence from kFadeStart to the end.
std::vector<float> RenderSong();

}  // namespace content
