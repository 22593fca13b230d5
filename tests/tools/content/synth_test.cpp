// The synthesiser's notes: right pitch, in the right place, starting
// without a click and ending in silence; the master stage's level.
#include "tools/content/synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio_analysis.h"

using content::Instrument;
using content::Mix;
using content::NoteEvent;

namespace {

constexpr int kRate = content::kSampleRate;

const Instrument kAll[] = {Instrument::Pad,  Instrument::Bell,  Instrument::Bass,      Instrument::Lead,
                           Instrument::Drone, Instrument::Kick, Instrument::Snare,     Instrument::ClosedHat,
                           Instrument::OpenHat, Instrument::Crash, Instrument::Riser};

const char *Name(Instrument i) {
    static const char *names[] = {"pad", "bell", "bass", "lead", "drone", "kick",
                                  "snare", "closed hat", "open hat", "crash", "riser"};
    return names[static_cast<int>(i)];
}

std::vector<double> Mono(const Mix &mix) {
    std::vector<double> m(mix.frames());
    for (size_t i = 0; i < m.size(); ++i) m[i] = mix.left()[i] + mix.right()[i];
    return m;
}

double Energy(const std::vector<double> &x, size_t begin, size_t end) {
    double e = 0;
    for (size_t i = begin; i < end && i < x.size(); ++i) e += x[i] * x[i];
    return e;
}

TEST(Synth, NoteFrequenciesAreEqualTemperedFromA440) {
    EXPECT_DOUBLE_EQ(content::NoteFrequency(69), 440.0);
    EXPECT_NEAR(content::NoteFrequency(81), 880.0, 1e-9);
    EXPECT_NEAR(content::NoteFrequency(57), 220.0, 1e-9);
    EXPECT_NEAR(content::NoteFrequency(60), 261.6255653, 1e-6);
    EXPECT_NEAR(content::NoteFrequency(70) / content::NoteFrequency(69), std::pow(2.0, 1.0 / 12.0), 1e-12);
}

TEST(Synth, EveryInstrumentSoundsOnlyWhileItsNoteLasts) {
    for (Instrument instrument : kAll) {
        Mix mix(static_cast<size_t>(6.0 * kRate));
        NoteEvent note{instrument, 0.5, 0.6, 57, 1.0, 0.5, 0.0};
        mix.Add(note);
        std::vector<double> m = Mono(mix);
        const size_t start = static_cast<size_t>(0.5 * kRate);
        // Drums ring for a fixed time; everything is over after 4 seconds.
        const size_t over = static_cast<size_t>((0.5 + 4.0) * kRate);
        EXPECT_EQ(Energy(m, 0, start), 0.0) << Name(instrument) << " sounds before its note";
        EXPECT_GT(Energy(m, start, start + kRate), 1e-3) << Name(instrument) << " is silent";
        EXPECT_EQ(Energy(m, over, m.size()), 0.0) << Name(instrument) << " does not end";
        for (double x : m) ASSERT_TRUE(std::isfinite(x)) << Name(instrument);
    }
}

TEST(Synth, TonalNotesStartWithoutAClick) {
    for (Instrument instrument : {Instrument::Pad, Instrument::Bell, Instrument::Bass, Instrument::Lead,
                                  Instrument::Drone, Instrument::Kick}) {
        Mix mix(static_cast<size_t>(2.0 * kRate));
        mix.Add({instrument, 0.1, 0.5, 57, 1.0, 0.5, 0.0});
        std::vector<double> m = Mono(mix);
        const size_t start = static_cast<size_t>(0.1 * kRate);
        double peak = 0;
        for (double x : m) peak = std::max(peak, std::fabs(x));
        // The first millisecond stays far below the note's peak.
        for (size_t i = start; i < start + kRate / 1000; ++i)
            ASSERT_LT(std::fabs(m[i]), 0.5 * peak) << Name(instrument) << " clicks at sample " << i - start;
    }
}

TEST(Synth, PitchedInstrumentsPlayTheNoteTheyAreGiven) {
    for (Instrument instrument : {Instrument::Bell, Instrument::Bass, Instrument::Lead, Instrument::Pad}) {
        for (int pitch : {45, 57, 69}) {
            Mix mix(static_cast<size_t>(2.0 * kRate));
            mix.Add({instrument, 0.0, 1.5, pitch, 1.0, 0.5, 0.0});
            std::vector<double> m = Mono(mix);
            const double f = content::NoteFrequency(pitch);
            const size_t a = kRate / 4, b = kRate;  // after the attack
            double at = contenttest::PowerAt(m, kRate, a, b, f);
            // A semitone away on either side there is much less.
            double below = contenttest::PowerAt(m, kRate, a, b, f * std::pow(2.0, -1.0 / 12.0));
            double above = contenttest::PowerAt(m, kRate, a, b, f * std::pow(2.0, 1.0 / 12.0));
            EXPECT_GT(at, 10.0 * below) << Name(instrument) << " pitch " << pitch;
            EXPECT_GT(at, 10.0 * above) << Name(instrument) << " pitch " << pitch;
        }
    }
}

TEST(Synth, KickIsLowAndHatIsHigh) {
    auto balance = [](Instrument instrument) {
        Mix mix(kRate);
        mix.Add({instrument, 0.0, 0.1, 0, 1.0, 0.5, 0.0});
        std::vector<double> m = Mono(mix);
        double low = contenttest::PowerAt(m, kRate, 0, kRate / 4, 55.0);
        double high = contenttest::PowerAt(m, kRate, 0, kRate / 4, 9000.0);
        return low / (high + 1e-30);
    };
    EXPECT_GT(balance(Instrument::Kick), 100.0);
    EXPECT_LT(balance(Instrument::ClosedHat), 0.01);
}

TEST(Synth, PanPlacesANoteBetweenTheSpeakers) {
    for (double pan : {-1.0, 0.0, 1.0}) {
        Mix mix(kRate);
        mix.Add({Instrument::Bell, 0.0, 0.3, 69, 1.0, 0.5, pan});
        double l = 0, r = 0;
        for (size_t i = 0; i < mix.frames(); ++i) {
            l += mix.left()[i] * mix.left()[i];
            r += mix.right()[i] * mix.right()[i];
        }
        if (pan < 0) {
            EXPECT_LT(r, l * 1e-6);
        } else if (pan > 0) {
            EXPECT_LT(l, r * 1e-6);
        } else {
            EXPECT_NEAR(l / r, 1.0, 1e-6);
        }
    }
}

TEST(Synth, EchoRepeatsALeadNoteLeftThenRight) {
    Mix mix(static_cast<size_t>(2.0 * kRate));
    mix.Add({Instrument::Lead, 0.1, 0.05, 69, 1.0, 0.5, 0.0});
    std::vector<float> out = mix.Finish(0.5);
    auto energy = [&](double from, double to, int channel) {
        double e = 0;
        for (size_t i = static_cast<size_t>(from * kRate); i < static_cast<size_t>(to * kRate); ++i)
            e += double(out[2 * i + channel]) * out[2 * i + channel];
        return e;
    };
    // The note with its release is over by 0.33 s. A dotted eighth (0.375 s)
    // after it started it comes back on the left, and as much again later
    // on the right; in between only the room's reverb sounds.
    const double gap = energy(0.40, 0.47, 0), first = energy(0.48, 0.55, 0);
    EXPECT_GT(first, 5.0 * gap);
    EXPECT_GT(first, 5.0 * energy(0.48, 0.55, 1));
    const double second = energy(0.855, 0.925, 1);
    EXPECT_GT(second, 5.0 * energy(0.855, 0.925, 0));
    EXPECT_GT(second, 5.0 * energy(0.78, 0.85, 1));
}

TEST(Synth, FinishBringsThePeakToTheRequestedLevel) {
    Mix mix(kRate);
    mix.Add({Instrument::Kick, 0.0, 0.1, 0, 1.0, 0.5, 0.0});
    mix.Add({Instrument::Pad, 0.2, 0.5, 57, 1.0, 0.5, 0.3});
    std::vector<float> out = mix.Finish(0.891);
    ASSERT_EQ(out.size(), 2u * kRate);
    double peak = 0;
    for (float s : out) peak = std::max(peak, std::fabs(double(s)));
    EXPECT_NEAR(peak, 0.891, 1e-6);

    Mix silent(1000);
    for (float s : silent.Finish(0.9)) ASSERT_EQ(s, 0.0f);
}

TEST(Synth, SixteenBitConversionRoundsClampsAndDithersLightly) {
    std::vector<float> in = {0.0f, 0.0f, 0.5f, -0.5f, 1.5f, -1.5f, 1.0f, -1.0f};
    std::vector<int16_t> pcm = content::ToPcm16(in);
    ASSERT_EQ(pcm.size(), in.size());
    EXPECT_LE(std::abs(pcm[0]), 1);
    EXPECT_LE(std::abs(pcm[1]), 1);
    EXPECT_NEAR(pcm[2], 16384, 1);
    EXPECT_NEAR(pcm[3], -16384, 1);
    EXPECT_EQ(pcm[4], 32767);
    EXPECT_EQ(pcm[5], -32768);
    EXPECT_GE(pcm[6], 32766);
    EXPECT_LE(pcm[7], -32766);
    // Same input, same output.
    EXPECT_EQ(content::ToPcm16(in), pcm);
}

}  // namespace
