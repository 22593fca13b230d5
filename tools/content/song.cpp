#include "song.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "det_math.h"
#include "procedural.h"

namespace content {
namespace {

constexpr double kStep = kBeatSeconds / 4.0;  // a sixteenth note
constexpr double kBar = kBeatSeconds * 4.0;

// ----------------------------------------------------------------- harmony

struct Chord {
    const char *name;
    int root;      // bass note (E2..D#3)
    int tones[3];  // close voicing around middle C
};

constexpr Chord kChords[] = {
    {"Am", 45, {57, 60, 64}}, {"F", 41, {57, 60, 65}}, {"C", 48, {55, 60, 64}}, {"G", 43, {55, 59, 62}},
    {"Dm", 50, {57, 62, 65}}, {"E", 40, {56, 59, 64}}, {"Em", 40, {55, 59, 64}},
};

const Chord &FindChord(std::string_view name) {
    for (const Chord &c : kChords)
        if (name == c.name) return c;
    throw std::invalid_argument("unknown chord \"" + std::string(name) + "\"");
}

Chord Transposed(Chord c, int semitones) {
    c.root += semitones;
    for (int &t : c.tones) t += semitones;
    return c;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ') ++j;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

// ----------------------------------------------------------------- melodies

// Melody A over Am F C G: the main theme.
constexpr const char *kThemeA =
    "E5:6 D5:2 C5:4 E5:4  F5:6 E5:2 C5:4 A4:4  G5:6 E5:2 C5:4 E5:4  D5:8 B4:4 D5:4";
// The theme again, higher and busier.
constexpr const char *kThemeA2 =
    "A5:3 G5:3 E5:2 C5:4 E5:4  F5:3 E5:3 C5:2 A4:4 C5:4  E5:3 G5:3 C6:2 B5:4 G5:4  D5:6 E5:2 G5:4 B5:4";
// Slow song over F G Em Am.
constexpr const char *kThemeB = "A4:8 C5:8  B4:8 D5:8  G4:8 B4:4 E5:4  C5:12 r:4";
// Driving line over F G Em Am.
constexpr const char *kThemeC =
    "A5:2 A5:2 G5:2 A5:4 C6:2 A5:2 G5:2  G5:2 G5:2 F5:2 G5:4 B5:2 G5:2 D5:2  "
    "E5:2 G5:2 B5:4 A5:2 G5:2 E5:4  A5:6 E5:2 C5:4 E5:4";
// Climbing figure over Dm F C E, for the turning pictures.
constexpr const char *kSpin = "D5:4 F5:4 A5:4 F5:4  C6:4 A5:4 F5:4 A5:4  G5:4 E5:4 C5:4 E5:4  G#5:8 B5:4 E5:4";
// Farewell over F G Am: ends on a long A, then rests to the end of the piece.
constexpr const char *kFarewell = "C5:8 A4:8  D5:8 B4:8  A4:48 r:24";

// ----------------------------------------------------------------- sections

enum class Arp { None, Quarter, Eighth, Sixteenth, Sparse };
enum class Bass { None, Sustain, Pulse, Groove };
enum class Drums { None, KickOnly, Eighths, Sixteenths, HalfTime, Build, HatsOnly };
enum Extra : unsigned { kNoExtra = 0, kCrash = 1, kRiser = 2, kDrone = 4 };

struct Plan {
    double start;
    const char *name;
    const char *scene;
    const char *chords;
    double padLevel;  // 0 = no pad
    double padTone;
    Arp arp;
    Bass bass;
    Drums drums;
    const char *melody;  // nullptr = no lead
    int melodyShift;     // semitones, for the melody alone
    unsigned extras;
    int transpose = 0;   // semitones, for the whole section
};

// Sections start at the demo's scene changes.
const Plan kPlan[] = {
    {0, "dawn", "title fade", "Am F C G", 0.9, 0.25, Arp::Quarter, Bass::None, Drums::None, nullptr, 0, kNoExtra},
    {10, "zoom", "I1 zoom fade to I2", "Am F", 0.8, 0.4, Arp::Eighth, Bass::Pulse, Drums::KickOnly, nullptr, 0,
     kNoExtra},
    {15, "theme", "I2 cross-fade to I3", "Am F C G", 0.6, 0.5, Arp::None, Bass::Groove, Drums::Eighths, kThemeA, 0,
     kCrash},
    {25, "theme again", "still I3", "Am F C G", 0.6, 0.5, Arp::Sixteenth, Bass::Groove, Drums::Sixteenths,
     kThemeA2, 0, kCrash, 2},
    {35, "spin", "rotating I4", "Dm F C E", 0.5, 0.6, Arp::Sixteenth, Bass::Pulse, Drums::HatsOnly, kSpin, -12,
     kCrash},
    {42, "breakdown", "still I5", "F G Em Am", 0.9, 0.3, Arp::Quarter, Bass::Sustain, Drums::None, kThemeB, 0,
     kNoExtra},
    {48, "build", "tile grid I6", "Dm E", 0.7, 0.5, Arp::Eighth, Bass::Pulse, Drums::Build, nullptr, 0, kRiser},
    {52, "hush", "empty scene", "Am", 0.0, 0.2, Arp::Sparse, Bass::None, Drums::None, nullptr, 0, kDrone},
    {57, "drop", "moving I7", "F G Em Am", 0.6, 0.7, Arp::Eighth, Bass::Groove, Drums::Sixteenths, kThemeC, 0,
     kCrash},
    {70, "half time", "still I9", "Am F C G", 0.7, 0.4, Arp::Quarter, Bass::Sustain, Drums::HalfTime, kThemeB, 12,
     kCrash},
    {75, "theme returns", "still I8", "Am F C G", 0.6, 0.5, Arp::None, Bass::Groove, Drums::Eighths, kThemeA, 0,
     kCrash},
    {85, "gallery I", "still I10", "Dm F C E", 0.6, 0.5, Arp::Sixteenth, Bass::Pulse, Drums::KickOnly, nullptr, 0,
     kNoExtra},
    {90, "gallery II", "still I11", "Dm F C E", 0.6, 0.6, Arp::Sixteenth, Bass::Pulse, Drums::Eighths, kSpin, 0,
     kCrash},
    {95, "gallery III", "still I12", "F G Em Am", 0.8, 0.3, Arp::Quarter, Bass::Sustain, Drums::HalfTime, nullptr,
     0, kNoExtra},
    {100, "gallery IV", "still I13", "F G Em Am", 0.6, 0.7, Arp::Eighth, Bass::Groove, Drums::Sixteenths, kThemeC,
     0, kCrash},
    {105, "gallery V", "still I14", "Am F C G", 0.6, 0.7, Arp::Sixteenth, Bass::Groove, Drums::Sixteenths,
     kThemeA2, 0, kCrash},
    {110, "outro", "still I17", "Am F C G", 0.8, 0.4, Arp::Quarter, Bass::Sustain, Drums::HalfTime, kThemeA, 0,
     kNoExtra},
    {115, "farewell", "still I16, then the end", "F G Am Am Am Am Am", 0.9, 0.3, Arp::Quarter, Bass::Sustain,
     Drums::None, kFarewell, 0, kCrash},
};
constexpr size_t kPlanSize = sizeof kPlan / sizeof kPlan[0];

double SectionEnd(size_t i) { return i + 1 < kPlanSize ? kPlan[i + 1].start : kSongSeconds; }

std::string Describe(const Plan &p) {
    static const char *arps[] = {"", "bells in quarters", "bells in eighths", "bells in sixteenths",
                                 "sparse echoing bells"};
    static const char *basses[] = {"", "held bass", "pulsing bass", "syncopated bass"};
    static const char *drums[] = {"", "kick", "kick, snare, hats in eighths", "kick, snare, hats in sixteenths",
                                  "half-time drums", "snare roll building up", "hats alone in sixteenths"};
    std::vector<std::string> parts;
    if (p.padLevel > 0) parts.push_back("pad");
    if (p.arp != Arp::None) parts.push_back(arps[static_cast<int>(p.arp)]);
    if (p.bass != Bass::None) parts.push_back(basses[static_cast<int>(p.bass)]);
    if (p.drums != Drums::None) parts.push_back(drums[static_cast<int>(p.drums)]);
    if (p.melody) parts.push_back("lead melody");
    if (p.extras & kDrone) parts.push_back("low drone");
    if (p.extras & kRiser) parts.push_back("rising noise sweep");
    if (p.extras & kCrash) parts.push_back("cymbal crash at the start");
    std::string text = std::string("chords ") + p.chords + (p.transpose ? " a whole tone higher" : "") + ": ";
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
    return text;
}

// ----------------------------------------------------------------- writing notes

class Composer {
public:
    explicit Composer(std::vector<NoteEvent> &out) : out_(out) {}

    void Section(size_t index) {
        const Plan &p = kPlan[index];
        const double start = p.start, end = SectionEnd(index);
        const std::vector<std::string_view> chords = Words(p.chords);
        const int steps = static_cast<int>(std::floor((end - start) / kStep + 0.5));
        const int bars = (steps + 15) / 16;

        std::vector<size_t> pad;  // pad notes of the chord now sounding
        const char *previous = nullptr;
        for (int bar = 0; bar < bars; ++bar) {
            const Chord chord = Transposed(FindChord(chords[bar % chords.size()]), p.transpose);
            const double barStart = start + bar * kBar;
            const double barLength = std::min(kBar, end - barStart);
            if (p.padLevel > 0) {
                if (chord.name == previous) {
                    for (size_t n : pad) out_[n].duration += barLength;  // same chord: hold on
                } else {
                    pad.clear();
                    for (int t = 0; t < 3; ++t) {
                        pad.push_back(out_.size());
                        Add(Instrument::Pad, barStart, barLength, chord.tones[t], p.padLevel, p.padTone,
                            -0.3 + 0.3 * t);
                    }
                }
            }
            previous = chord.name;
            for (int s = 0; s < 16 && bar * 16 + s < steps; ++s) {
                const double t = barStart + s * kStep;
                Bassline(p, chord, s, t, end);
                Arpeggio(p, chord, bar * 16 + s, t);
                Drum(p, bar, bars, s, t);
            }
        }
        if (p.melody) Melody(p, start, end);
        if (p.extras & kCrash) Add(Instrument::Crash, start, 0.0, 0, 0.9, 0.5, 0.0);
        if (p.extras & kRiser) Add(Instrument::Riser, start, end - start, 0, 1.0, 0.5, 0.0);
        if (p.extras & kDrone) {
            Add(Instrument::Drone, start, end - start - 0.5, 33, 1.0, 0.3, -0.2);
            Add(Instrument::Drone, start + 0.5, end - start - 1.0, 40, 0.8, 0.3, 0.2);
        }
    }

private:
    void Add(Instrument instrument, double start, double duration, int pitch, double velocity, double tone,
             double pan) {
        out_.push_back({instrument, start, duration, pitch, velocity, tone, pan});
    }

    void Bassline(const Plan &p, const Chord &chord, int s, double t, double end) {
        switch (p.bass) {
            case Bass::None: break;
            case Bass::Sustain:
                if (s == 0) Add(Instrument::Bass, t, std::min(kBar, end - t) - 0.05, chord.root, 0.8, 0.2, 0);
                break;
            case Bass::Pulse:
                if (s % 2 == 0) Add(Instrument::Bass, t, kStep * 1.6, chord.root, s % 4 == 0 ? 0.9 : 0.7, p.padTone, 0);
                break;
            case Bass::Groove: {
                // Root, octave and fifth in a syncopated one-bar figure.
                static const int at[] = {0, 3, 6, 8, 11, 12, 14};
                static const int length[] = {3, 2, 2, 3, 1, 2, 2};
                static const int interval[] = {0, 0, 12, 0, 7, 0, 12};
                for (int k = 0; k < 7; ++k)
                    if (s == at[k])
                        Add(Instrument::Bass, t, kStep * length[k] * 0.85, chord.root + interval[k],
                            k == 0 ? 1.0 : 0.8, 0.55, 0);
                break;
            }
        }
    }

    void Arpeggio(const Plan &p, const Chord &chord, int step, double t) {
        // Up and down over two octaves of the chord, an octave above the pad.
        static const int order[] = {0, 1, 2, 3, 4, 5, 4, 3, 2, 1};
        int every = 0;
        switch (p.arp) {
            case Arp::None: return;
            case Arp::Quarter: every = 4; break;
            case Arp::Eighth: every = 2; break;
            case Arp::Sixteenth: every = 1; break;
            case Arp::Sparse: {
                // One bell every two beats on a chord tone chosen by hash.
                if (step % 8 != 0) return;
                int k = static_cast<int>(Hash(static_cast<uint32_t>(step), 0, 61) % 6);
                int pitch = chord.tones[k % 3] + 12 * (1 + k / 3);
                Add(Instrument::Bell, t, 0.3, pitch, 0.55, 0.2, k % 2 ? 0.5 : -0.5);
                return;
            }
        }
        if (step % every != 0) return;
        int k = order[(step / every) % 10];
        int pitch = chord.tones[k % 3] + 12 * (1 + k / 3);
        double accent = (step / every) % 4 == 0 ? 1.0 : 0.75;
        Add(Instrument::Bell, t, kStep * every * 0.9, pitch, 0.6 * accent, p.padTone, k % 2 ? 0.35 : -0.35);
    }

    void Drum(const Plan &p, int bar, int bars, int s, double t) {
        double jitter = 0.85 + 0.15 * Hash01(static_cast<uint32_t>(t * 8.0 + 0.5), 0, 62);
        switch (p.drums) {
            case Drums::None: return;
            case Drums::KickOnly:
                if (s % 4 == 0) Add(Instrument::Kick, t, 0, 0, 0.9, 0, 0);
                return;
            case Drums::Eighths:
                if (s % 4 == 0) Add(Instrument::Kick, t, 0, 0, 1.0, 0, 0);
                if (s % 8 == 4) Add(Instrument::Snare, t, 0, 0, 0.9, 0, 0.05);
                if (s % 2 == 0) Add(Instrument::ClosedHat, t, 0, 0, (s % 4 == 2 ? 0.8 : 0.5) * jitter, 0, 0.3);
                return;
            case Drums::Sixteenths:
                if (s % 4 == 0) Add(Instrument::Kick, t, 0, 0, 1.0, 0, 0);
                if (s % 8 == 4) Add(Instrument::Snare, t, 0, 0, 0.95, 0, 0.05);
                if (s == 15 && bar % 2 == 1) Add(Instrument::Snare, t, 0, 0, 0.35, 0, 0.05);  // ghost note
                if (s % 4 == 2) Add(Instrument::OpenHat, t, 0, 0, 0.6 * jitter, 0, 0.3);
                else Add(Instrument::ClosedHat, t, 0, 0, (s % 2 == 0 ? 0.7 : 0.45) * jitter, 0, 0.3);
                return;
            case Drums::HalfTime:
                if (s == 0 || s == 10) Add(Instrument::Kick, t, 0, 0, 1.0, 0, 0);
                if (s == 8) Add(Instrument::Snare, t, 0, 0, 0.9, 0, 0.05);
                if (s % 2 == 0) Add(Instrument::ClosedHat, t, 0, 0, 0.55 * jitter, 0, 0.3);
                return;
            case Drums::HatsOnly:
                Add(Instrument::ClosedHat, t, 0, 0, (s % 2 == 0 ? 0.75 : 0.5) * jitter, 0, s % 4 < 2 ? 0.4 : -0.1);
                return;
            case Drums::Build: {
                if (s % 4 == 0) Add(Instrument::Kick, t, 0, 0, 0.9, 0, 0);
                // Snare on beats, then eighths, then sixteenths, growing louder.
                double progress = (bar * 16 + s) / (bars * 16.0);
                int every = progress < 0.5 ? 4 : (progress < 0.75 ? 2 : 1);
                if (s % every == 0) Add(Instrument::Snare, t, 0, 0, 0.35 + 0.6 * progress, 0, 0.05);
                return;
            }
        }
    }

    void Melody(const Plan &p, double start, double end) {
        const std::vector<MelodyNote> notes = ParseMelody(p.melody);
        double t = start;
        while (t < end - 1e-9) {
            for (const MelodyNote &n : notes) {
                double length = n.sixteenths * kStep;
                if (t >= end - 1e-9) break;
                if (n.pitch >= 0) {
                    double held = std::min(length * 0.92, end - t - 0.05);
                    if (held > 0.02)
                        Add(Instrument::Lead, t, held, n.pitch + p.melodyShift + p.transpose, 0.85, 0.5, 0.0);
                }
                t += length;
            }
        }
    }

    std::vector<NoteEvent> &out_;
};

}  // namespace

std::vector<MelodyNote> ParseMelody(std::string_view text) {
    std::vector<MelodyNote> notes;
    for (std::string_view word : Words(text)) {
        auto bad = [&] { return std::invalid_argument("bad melody note \"" + std::string(word) + "\""); };
        size_t colon = word.find(':');
        if (colon == std::string_view::npos || colon == 0 || colon + 1 >= word.size()) throw bad();
        std::string_view name = word.substr(0, colon), length = word.substr(colon + 1);
        int sixteenths = 0;
        for (char c : length) {
            if (c < '0' || c > '9' || sixteenths > 64) throw bad();
            sixteenths = sixteenths * 10 + (c - '0');
        }
        if (sixteenths < 1 || sixteenths > 64) throw bad();
        int pitch = -1;
        if (name != "r") {
            static const int semitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
            if (name[0] < 'A' || name[0] > 'G') throw bad();
            pitch = semitone[name[0] - 'A'];
            size_t i = 1;
            if (i < name.size() && (name[i] == '#' || name[i] == 'b')) pitch += name[i++] == '#' ? 1 : -1;
            if (i + 1 != name.size() || name[i] < '0' || name[i] > '8') throw bad();
            pitch += 12 * (name[i] - '0' + 1);
        }
        notes.push_back({pitch, sixteenths});
    }
    return notes;
}

const std::vector<SectionInfo> &SongSections() {
    static const std::vector<SectionInfo> sections = [] {
        std::vector<SectionInfo> list;
        for (size_t i = 0; i < kPlanSize; ++i)
            list.push_back({kPlan[i].start, SectionEnd(i), kPlan[i].name, kPlan[i].scene, Describe(kPlan[i])});
        return list;
    }();
    return sections;
}

std::vector<NoteEvent> ComposeSong() {
    std::vector<NoteEvent> notes;
    Composer composer(notes);
    for (size_t i = 0; i < kPlanSize; ++i) composer.Section(i);
    return notes;
}

std::vector<float> RenderSong() {
    const size_t frames = static_cast<size_t>(kSongSeconds * kSampleRate);
    Mix mix(frames);
    for (const NoteEvent &note : ComposeSong()) mix.Add(note);
    std::vector<float> out = mix.Finish(0.891);  // -1 dBFS
    // Fade out after the demo ends: a raised-cosine curve to silence half a
    // second before the end.
    const size_t fadeFirst = static_cast<size_t>(kFadeStart * kSampleRate);
    const size_t fadeLength = static_cast<size_t>((kSongSeconds - kFadeStart - 0.5) * kSampleRate);
    for (size_t n = fadeFirst; n < frames; ++n) {
        double x = std::min(1.0, static_cast<double>(n - fadeFirst) / fadeLength);
        double gain = 0.5 + 0.5 * detmath::Cos(detmath::kPi * x);
        out[2 * n] = static_cast<float>(out[2 * n] * gain);
        out[2 * n + 1] = static_cast<float>(out[2 * n + 1] * gain);
    }
    return out;
}

}  // namespace content
