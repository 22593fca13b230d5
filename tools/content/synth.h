// The soundtrack's synthesiser: instruments that render single notes into
// a stereo mix with two effect sends (an echo and a reverb), and the master
// stage that turns the mix into 16-bit samples.
//
// Everything is computed sample by sample from the note's parameters with
// det_math and a seeded noise source, so a note sounds the same on every
// machine, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace content {

inline constexpr int kSampleRate = 44100;

enum class Instrument {
    Pad,        // soft detuned saw chord voice, slow attack
    Bell,       // FM bell, used for arpeggios
    Bass,       // saw plus sub-octave through a plucked low-pass filter
    Lead,       // two detuned pulses with delayed vibrato
    Drone,      // dark sustained voice for the quiet passage
    Kick,       // pitch-swept sine
    Snare,      // tone plus band-passed noise
    ClosedHat,  // short high-passed noise
    OpenHat,    // long high-passed noise
    Crash,      // long bright noise wash
    Riser,      // noise swept upwards over its length
};

struct NoteEvent {
    Instrument instrument;
    double start;     // seconds from the start of the piece
    double duration;  // seconds the note is held (its release comes after)
    int pitch;        // MIDI note number (69 = A4 = 440 Hz); ignored by drums
    double velocity;  // 0..1
    double tone = 0.5;  // 0..1: darker to brighter, where an instrument has a filter
    double pan = 0.0;   // -1 left .. +1 right
};

double NoteFrequency(int pitch);  // equal temperament, A4 = 440 Hz

// Seconds a note of this instrument sounds after its held duration.
double ReleaseSeconds(Instrument instrument);

class Mix {
public:
    explicit Mix(size_t frames);
    size_t frames() const { return left_.size(); }

    // Renders one note into the dry mix and the effect sends.
    // Parts of the note past the end of the mix are dropped.
    void Add(const NoteEvent &note);

    // Runs the echo and the reverb, adds them to the dry mix, and returns
    // interleaved stereo in -1..1 after a soft limiter and normalisation of
    // the peak to `peak` (the loudest sample of the result has exactly
    // that magnitude unless the mix is silent).
    std::vector<float> Finish(double peak);

    const std::vector<float> &left() const { return left_; }
    const std::vector<float> &right() const { return right_; }

private:
    void Put(size_t frame, double left, double right, double echo, double reverb);
    std::vector<float> left_, right_, echoSend_, reverbSend_;
};

// Interleaved float samples to 16-bit with a fixed triangular dither.
std::vector<int16_t> ToPcm16(const std::vector<float> &samples);

}  // namespace content
