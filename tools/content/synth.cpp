#include "synth.h"

#include <algorithm>
#include <cmath>

#include "det_math.h"
#include "procedural.h"

namespace content {
namespace {

using namespace detmath;

constexpr double kRate = kSampleRate;

size_t Frames(double seconds) { return static_cast<size_t>(std::max(0.0, std::floor(seconds * kRate + 0.5))); }

// White noise in [-1, 1) from a 32-bit xorshift generator.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 0x2545F491u) {}
    double Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

// Band-limited sawtooth: a naive ramp with the step smoothed by a
// polynomial, which removes most of the aliasing that makes plain digital
// saws sound harsh.
double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

class Saw {
public:
    explicit Saw(double phase = 0.0) : phase_(phase) {}
    double Next(double frequency) {
        double dt = frequency / kRate;
        double value = 2.0 * phase_ - 1.0 - PolyBlep(phase_, dt);
        phase_ += dt;
        if (phase_ >= 1.0) phase_ -= 1.0;
        return value;
    }

private:
    double phase_;
};

// Square wave as the difference of two saws half a period apart.
class Pulse {
public:
    explicit Pulse(double phase = 0.0) : phase_(phase) {}
    double Next(double frequency) {
        double dt = frequency / kRate;
        double other = phase_ + 0.5 >= 1.0 ? phase_ - 0.5 : phase_ + 0.5;
        double value = (2.0 * phase_ - PolyBlep(phase_, dt)) - (2.0 * other - PolyBlep(other, dt));
        phase_ += dt;
        if (phase_ >= 1.0) phase_ -= 1.0;
        return 0.5 * value;
    }

private:
    double phase_;
};

class SineOsc {
public:
    double Next(double frequency) {
        double value = Sin(kTwoPi * phase_);
        phase_ += frequency / kRate;
        if (phase_ >= 1.0) phase_ -= 1.0;
        return value;
    }

private:
    double phase_ = 0.0;
};

// State-variable filter in trapezoidal form: stable for any cutoff below
// Nyquist and cheap to retune while it runs.
class Filter {
public:
    void Tune(double cutoff, double q) {
        cutoff = Clamp(cutoff, 20.0, kRate * 0.45);
        double g = Tan(kPi * cutoff / kRate);
        k_ = 1.0 / q;
        a1_ = 1.0 / (1.0 + g * (g + k_));
        a2_ = g * a1_;
        a3_ = g * a2_;
    }
    // Returns the low-pass output; band and high pass are kept too.
    double Run(double input) {
        double v3 = input - ic2_;
        double v1 = a1_ * ic1_ + a2_ * v3;
        double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
        ic1_ = 2.0 * v1 - ic1_;
        ic2_ = 2.0 * v2 - ic2_;
        band_ = v1;
        high_ = input - k_ * v1 - v2;
        return v2;
    }
    double band() const { return band_; }
    double high() const { return high_; }

private:
    double k_ = 1.0, a1_ = 0.0, a2_ = 0.0, a3_ = 0.0;
    double ic1_ = 0.0, ic2_ = 0.0, band_ = 0.0, high_ = 0.0;
};

// Exponential fall from 1 with time constant `seconds`, one sample per
// Next(): the same curve as Exp(-t / seconds) at a multiplication a sample.
class Decay {
public:
    explicit Decay(double seconds) : factor_(Exp(-1.0 / (seconds * kRate))) {}
    double Next() {
        double v = value_;
        value_ *= factor_;
        return v;
    }

private:
    double factor_, value_ = 1.0;
};

// Attack (linear), decay (exponential towards the sustain level), and a
// linear release to exactly zero once the hold time is over.
class Envelope {
public:
    Envelope(double attack, double decay, double sustain, double release, size_t holdFrames)
        : attackFrames_(std::max<size_t>(1, Frames(attack))),
          decayCoef_(Exp(-1.0 / (std::max(decay, 1e-4) * kRate))),
          sustain_(sustain),
          releaseFrames_(std::max<size_t>(1, Frames(release))),
          hold_(holdFrames) {}

    size_t length() const { return hold_ + releaseFrames_; }

    double Next() {
        double value;
        if (frame_ < hold_) {
            if (frame_ < attackFrames_) {
                value = static_cast<double>(frame_) / attackFrames_;
            } else {
                decayPart_ *= decayCoef_;
                value = sustain_ + (1.0 - sustain_) * decayPart_;
            }
            held_ = value;
        } else {
            double t = static_cast<double>(frame_ - hold_) / releaseFrames_;
            value = t >= 1.0 ? 0.0 : held_ * (1.0 - t);
        }
        ++frame_;
        return value;
    }

private:
    size_t attackFrames_;
    double decayCoef_, sustain_;
    size_t releaseFrames_, hold_;
    size_t frame_ = 0;
    double decayPart_ = 1.0, held_ = 0.0;
};

struct PanGains {
    double left, right;
};
PanGains Pan(double pan) {
    double angle = (Clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
    return {Cos(angle), Sin(angle)};
}

uint32_t NoteSeed(const NoteEvent &note) {
    return Hash(static_cast<uint32_t>(Frames(note.start)), static_cast<uint32_t>(note.pitch),
                static_cast<uint32_t>(note.instrument));
}

// Release of each instrument, in seconds.
constexpr double kPadRelease = 1.2, kBellRelease = 0.4, kBassRelease = 0.06, kLeadRelease = 0.18,
                 kDroneRelease = 2.0;
// Drums ignore the held duration: they always ring this long.
constexpr double kKickLength = 0.5, kSnareLength = 0.45, kClosedHatLength = 0.15, kOpenHatLength = 0.8,
                 kCrashLength = 3.5;

}  // namespace

double NoteFrequency(int pitch) { return 440.0 * Pow(2.0, (pitch - 69) / 12.0); }

double ReleaseSeconds(Instrument instrument) {
    switch (instrument) {
        case Instrument::Pad: return kPadRelease;
        case Instrument::Bell: return kBellRelease;
        case Instrument::Bass: return kBassRelease;
        case Instrument::Lead: return kLeadRelease;
        case Instrument::Drone: return kDroneRelease;
        case Instrument::Riser: return 0.05;
        default: return 0.0;
    }
}

Mix::Mix(size_t frames) : left_(frames), right_(frames), echoSend_(frames), reverbSend_(frames) {}

void Mix::Put(size_t frame, double left, double right, double echo, double reverb) {
    left_[frame] += static_cast<float>(left);
    right_[frame] += static_cast<float>(right);
    echoSend_[frame] += static_cast<float>(echo);
    reverbSend_[frame] += static_cast<float>(reverb);
}

void Mix::Add(const NoteEvent &note) {
    const size_t first = Frames(note.start);
    if (first >= frames()) return;
    const size_t hold = Frames(note.duration);
    const double f = NoteFrequency(note.pitch);
    const double v = Clamp(note.velocity, 0.0, 1.0);
    const double tone = Clamp(note.tone, 0.0, 1.0);
    const PanGains pan = Pan(note.pan);
    Noise noise(NoteSeed(note));
    const size_t room = frames() - first;

    switch (note.instrument) {
        case Instrument::Pad: {
            // Three saws a few cents apart, spread across the stereo field.
            Envelope env(0.5, 1.0, 0.8, kPadRelease, hold);
            Saw saws[3] = {Saw(Hash01(NoteSeed(note), 1)), Saw(Hash01(NoteSeed(note), 2)),
                           Saw(Hash01(NoteSeed(note), 3))};
            const double detune[3] = {Pow(2.0, -7.0 / 1200.0), 1.0, Pow(2.0, 7.0 / 1200.0)};
            const PanGains spread[3] = {Pan(note.pan - 0.6), Pan(note.pan), Pan(note.pan + 0.6)};
            Filter lf, rf;
            lf.Tune(500.0 + tone * 2500.0, 0.7);
            rf.Tune(500.0 + tone * 2500.0, 0.7);
            const size_t n = std::min(env.length(), room);
            for (size_t i = 0; i < n; ++i) {
                double l = 0, r = 0;
                for (int k = 0; k < 3; ++k) {
                    double s = saws[k].Next(f * detune[k]);
                    l += s * spread[k].left;
                    r += s * spread[k].right;
                }
                double e = env.Next() * v * 0.06;
                l = lf.Run(l) * e;
                r = rf.Run(r) * e;
                Put(first + i, l, r, 0.0, 0.35 * (l + r));
            }
            break;
        }
        case Instrument::Bell: {
            // Two-operator FM: a modulator at twice the pitch whose depth
            // dies away faster than the tone, from bright strike to soft ring.
            Envelope env(0.003, 0.8, 0.0, kBellRelease, hold);
            double carrier = 0, modulator = 0;
            Decay brightness(0.25);
            const size_t n = std::min(env.length(), room);
            for (size_t i = 0; i < n; ++i) {
                double index = (0.4 + 2.2 * tone) * brightness.Next() + 0.2;
                double s = Sin(kTwoPi * carrier + index * Sin(kTwoPi * modulator));
                carrier += f / kRate;
                modulator += 2.0 * f / kRate;
                carrier -= std::floor(carrier);
                modulator -= std::floor(modulator);
                s *= env.Next() * v * 0.10;
                Put(first + i, s * pan.left, s * pan.right, 0.25 * s, 0.3 * s);
            }
            break;
        }
        case Instrument::Bass: {
            Envelope env(0.004, 0.3, 0.7, kBassRelease, hold);
            Saw saw(0.0);
            SineOsc sub;
            Filter filter;
            const size_t n = std::min(env.length(), room);
            for (size_t i = 0; i < n; ++i) {
                if (i % 32 == 0) {
                    double t = static_cast<double>(i) / kRate;
                    filter.Tune(180.0 + 500.0 * tone + 1500.0 * tone * Exp(-t / 0.09), 1.2);
                }
                double s = filter.Run(saw.Next(f)) + 0.5 * sub.Next(f / 2.0);
                s *= env.Next() * v * 0.26;
                Put(first + i, s * pan.left, s * pan.right, 0.0, 0.04 * s);
            }
            break;
        }
        case Instrument::Lead: {
            Envelope env(0.02, 0.2, 0.75, kLeadRelease, hold);
            Pulse a(0.0), b(0.37);
            Saw c(0.71);
            SineOsc lfo;
            Filter lf, rf;
            lf.Tune(1800.0 + 3000.0 * tone, 0.8);
            rf.Tune(1800.0 + 3000.0 * tone, 0.8);
            const PanGains pa = Pan(note.pan - 0.3), pb = Pan(note.pan + 0.3);
            const double up = Pow(2.0, 5.0 / 1200.0), down = Pow(2.0, -5.0 / 1200.0);
            const size_t n = std::min(env.length(), room);
            double bend = 1.0;
            for (size_t i = 0; i < n; ++i) {
                double wobble = lfo.Next(5.5);
                if (i % 32 == 0) {
                    // Vibrato fades in after a quarter of a second, as a player's would.
                    double depth = 0.2 * SmoothStep(0.25, 0.55, static_cast<double>(i) / kRate);
                    bend = Pow(2.0, depth * wobble / 12.0);
                }
                double shared = 0.4 * c.Next(f * bend);
                double sa = 0.6 * a.Next(f * bend * up) + shared;
                double sb = 0.6 * b.Next(f * bend * down) + shared;
                double e = env.Next() * v * 0.085;
                double l = lf.Run(sa * pa.left + sb * pb.left) * e;
                double r = rf.Run(sa * pa.right + sb * pb.right) * e;
                Put(first + i, l, r, 0.35 * (l + r), 0.25 * (l + r));
            }
            break;
        }
        case Instrument::Drone: {
            Envelope env(1.5, 2.0, 0.9, kDroneRelease, hold);
            Saw lo(0.1), hi(0.6);
            Filter lf, rf;
            lf.Tune(220.0 + 300.0 * tone, 1.0);
            rf.Tune(220.0 + 300.0 * tone, 1.0);
            SineOsc tremolo;
            const double fl = f * Pow(2.0, -4.0 / 1200.0), fr = f * Pow(2.0, 4.0 / 1200.0);
            const size_t n = std::min(env.length(), room);
            for (size_t i = 0; i < n; ++i) {
                double e = env.Next() * v * 0.16 * (0.8 + 0.2 * tremolo.Next(0.25));
                double l = lf.Run(lo.Next(fl)) * e;
                double r = rf.Run(hi.Next(fr)) * e;
                Put(first + i, l, r, 0.0, 0.5 * (l + r));
            }
            break;
        }
        case Instrument::Kick: {
            double phase = 0;
            Decay sweep(0.035), body(0.28), click(0.003);
            const size_t n = std::min(Frames(kKickLength), room);
            for (size_t i = 0; i < n; ++i) {
                double t = static_cast<double>(i) / kRate;
                double freq = 48.0 + 120.0 * sweep.Next();
                phase += freq / kRate;
                double tone = Sin(kTwoPi * phase) * body.Next() * std::min(1.0, t / 0.002);
                double tick = noise.Next() * click.Next() * 0.12;
                // Fade the tail to exactly zero over the last 20 ms.
                double tail = std::min(1.0, (kKickLength - t) / 0.02);
                double s = (tone + tick) * tail * v * 0.55;
                Put(first + i, s * pan.left, s * pan.right, 0.0, 0.03 * s);
            }
            break;
        }
        case Instrument::Snare: {
            Filter band;
            band.Tune(2500.0, 0.8);
            double phase = 0;
            Decay drop(0.02), ring(0.06), buzz(0.13);
            const size_t n = std::min(Frames(kSnareLength), room);
            for (size_t i = 0; i < n; ++i) {
                double t = static_cast<double>(i) / kRate;
                phase += (175.0 + 40.0 * drop.Next()) / kRate;
                double body = Sin(kTwoPi * phase) * ring.Next() * 0.5;
                band.Run(noise.Next());
                double rattle = (band.band() + 0.3 * band.high()) * buzz.Next();
                double tail = std::min(1.0, (kSnareLength - t) / 0.02);
                double s = (body + rattle) * tail * std::min(1.0, t / 0.001) * v * 0.32;
                Put(first + i, s * pan.left, s * pan.right, 0.0, 0.2 * s);
            }
            break;
        }
        case Instrument::ClosedHat:
        case Instrument::OpenHat: {
            bool open = note.instrument == Instrument::OpenHat;
            double length = open ? kOpenHatLength : kClosedHatLength;
            double decay = open ? 0.2 : 0.025;
            Filter high;
            high.Tune(7500.0, 0.7);
            Decay fall(decay);
            const size_t n = std::min(Frames(length), room);
            for (size_t i = 0; i < n; ++i) {
                double t = static_cast<double>(i) / kRate;
                high.Run(noise.Next());
                double tail = std::min(1.0, (length - t) / 0.01);
                double s = high.high() * fall.Next() * tail * v * (open ? 0.07 : 0.12);
                Put(first + i, s * pan.left, s * pan.right, 0.0, 0.05 * s);
            }
            break;
        }
        case Instrument::Crash: {
            Noise other(NoteSeed(note) ^ 0x5bd1e995u);
            Filter hl, hr;
            hl.Tune(5000.0, 0.6);
            hr.Tune(5000.0, 0.6);
            Decay fall(1.1);
            const size_t n = std::min(Frames(kCrashLength), room);
            for (size_t i = 0; i < n; ++i) {
                double t = static_cast<double>(i) / kRate;
                double edges = std::min(1.0, t / 0.002) * std::min(1.0, (kCrashLength - t) / 0.1);
                double e = fall.Next() * edges * v * 0.08;
                hl.Run(noise.Next());
                hr.Run(other.Next());
                double l = hl.high() * e, r = hr.high() * e;
                Put(first + i, l, r, 0.0, 0.3 * (l + r));
            }
            break;
        }
        case Instrument::Riser: {
            Noise other(NoteSeed(note) ^ 0x27d4eb2du);
            Filter bl, br;
            const double length = note.duration;
            const size_t n = std::min(Frames(length + ReleaseSeconds(Instrument::Riser)), room);
            for (size_t i = 0; i < n; ++i) {
                double t = static_cast<double>(i) / kRate;
                double x = Clamp(t / length, 0.0, 1.0);
                if (i % 32 == 0) {
                    double cutoff = 400.0 * Pow(7000.0 / 400.0, x);
                    bl.Tune(cutoff, 2.0);
                    br.Tune(cutoff, 2.0);
                }
                bl.Run(noise.Next());
                br.Run(other.Next());
                double e = x * x * v * 0.2;
                if (t > length) e *= std::max(0.0, 1.0 - (t - length) / ReleaseSeconds(Instrument::Riser));
                double l = bl.band() * e, r = br.band() * e;
                Put(first + i, l, r, 0.0, 0.3 * (l + r));
            }
            break;
        }
    }
}

namespace {

// Ping-pong echo at a dotted eighth (0.375 s at 120 beats a minute), with a
// gentle low-pass in the feedback so repeats grow darker.
void RunEcho(const std::vector<float> &send, std::vector<float> &left, std::vector<float> &right) {
    const size_t delay = Frames(0.375);
    std::vector<double> bufL(delay, 0.0), bufR(delay, 0.0);
    double lpL = 0, lpR = 0;
    size_t at = 0;
    for (size_t n = 0; n < send.size(); ++n) {
        double outL = bufL[at], outR = bufR[at];
        lpL += 0.35 * (outL - lpL);
        lpR += 0.35 * (outR - lpR);
        bufL[at] = send[n] + 0.4 * lpR;
        bufR[at] = 0.4 * lpL;
        left[n] += static_cast<float>(0.6 * outL);
        right[n] += static_cast<float>(0.6 * outR);
        if (++at == delay) at = 0;
    }
}

// A room of eight damped feedback combs per side followed by four
// all-pass diffusers; the right side uses slightly longer lines so the two
// sides decorrelate.
class Reverb {
public:
    Reverb() {
        static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int allpasses[4] = {556, 441, 341, 225};
        for (int side = 0; side < 2; ++side) {
            for (int c : combs) comb_[side].push_back({std::vector<double>(c + side * 23, 0.0), 0, 0.0});
            for (int a : allpasses) allpass_[side].push_back({std::vector<double>(a + side * 23, 0.0), 0, 0.0});
        }
    }

    void Run(double input, double &left, double &right) {
        for (int side = 0; side < 2; ++side) {
            double out = 0;
            for (Line &c : comb_[side]) {
                double y = c.buffer[c.at];
                c.state = y * 0.75 + c.state * 0.25;  // damping
                c.buffer[c.at] = input + c.state * 0.83;
                if (++c.at == c.buffer.size()) c.at = 0;
                out += y;
            }
            for (Line &a : allpass_[side]) {
                double y = a.buffer[a.at];
                a.buffer[a.at] = out + y * 0.5;
                if (++a.at == a.buffer.size()) a.at = 0;
                out = y - out;
            }
            (side == 0 ? left : right) = out;
        }
    }

private:
    struct Line {
        std::vector<double> buffer;
        size_t at;
        double state;
    };
    std::vector<Line> comb_[2], allpass_[2];
};

}  // namespace

std::vector<float> Mix::Finish(double peak) {
    RunEcho(echoSend_, left_, right_);
    Reverb reverb;
    for (size_t n = 0; n < frames(); ++n) {
        double l, r;
        reverb.Run(reverbSend_[n] * 0.03, l, r);
        left_[n] += static_cast<float>(l);
        right_[n] += static_cast<float>(r);
    }
    std::vector<float>().swap(echoSend_);
    std::vector<float>().swap(reverbSend_);

    // Scale so the loudest raw sample reaches 1.2, let a soft knee above 0.75
    // round off the few transients that pass it, then bring the peak to
    // the requested level.
    double raw = 0;
    for (size_t n = 0; n < frames(); ++n)
        raw = std::max({raw, std::fabs(double(left_[n])), std::fabs(double(right_[n]))});
    std::vector<float> out(frames() * 2, 0.0f);
    if (raw == 0) return out;
    const double gain = 1.2 / raw;
    auto limit = [](double x) {
        double a = std::fabs(x);
        if (a <= 0.75) return x;
        double y = 0.75 + 0.25 * Tanh((a - 0.75) / 0.25);
        return x < 0 ? -y : y;
    };
    double limited = 0;
    for (size_t n = 0; n < frames(); ++n) {
        double l = limit(left_[n] * gain), r = limit(right_[n] * gain);
        out[2 * n] = static_cast<float>(l);
        out[2 * n + 1] = static_cast<float>(r);
        limited = std::max({limited, std::fabs(l), std::fabs(r)});
    }
    const double finalGain = peak / limited;
    for (float &s : out) s = static_cast<float>(s * finalGain);
    return out;
}

std::vector<int16_t> ToPcm16(const std::vector<float> &samples) {
    std::vector<int16_t> pcm(samples.size());
    Random rng(1234);
    for (size_t i = 0; i < samples.size(); ++i) {
        double dither = rng.Uniform() - rng.Uniform();  // triangular, +-1 step
        double s = std::floor(samples[i] * 32767.0 + dither + 0.5);
        pcm[i] = static_cast<int16_t>(Clamp(s, -32768.0, 32767.0));
    }
    return pcm;
}

}  // namespace content
