#include "audio_analysis.h"

#include <mpg123.h>

#include <cmath>
#include <complex>
#include <memory>

namespace contenttest {

DecodedAudio DecodeMp3File(const std::string &path) {
    DecodedAudio out;
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    int err = MPG123_OK;
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle *)> h(mpg123_new(nullptr, &err), mpg123_delete);
    if (!h) {
        out.error = "mpg123_new failed";
        return out;
    }
    mpg123_format_none(h.get());
    mpg123_format(h.get(), 44100, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    mpg123_format(h.get(), 48000, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    mpg123_format(h.get(), 32000, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(h.get(), path.c_str()) != MPG123_OK) {
        out.error = "cannot open " + path;
        return out;
    }
    int encoding = 0;
    if (mpg123_getformat(h.get(), &out.rate, &out.channels, &encoding) != MPG123_OK) {
        out.error = "no audio format found";
        mpg123_close(h.get());
        return out;
    }
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        size_t done = 0;
        int r = mpg123_read(h.get(), buffer.data(), buffer.size(), &done);
        const int16_t *s = reinterpret_cast<const int16_t *>(buffer.data());
        out.samples.insert(out.samples.end(), s, s + done / 2);
        if (r == MPG123_DONE) break;
        if (r == MPG123_NEW_FORMAT) continue;
        if (r != MPG123_OK) {
            out.error = std::string("decoding failed: ") + mpg123_plain_strerror(r);
            mpg123_close(h.get());
            return out;
        }
    }
    mpg123_close(h.get());
    out.ok = true;
    return out;
}

double RmsDb(const std::vector<int16_t> &interleaved, size_t firstFrame, size_t frameCount) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = firstFrame * 2; i < (firstFrame + frameCount) * 2 && i < interleaved.size(); ++i, ++n) {
        double x = interleaved[i] / 32768.0;
        sum += x * x;
    }
    if (n == 0) return -200.0;
    return 10.0 * std::log10(sum / n + 1e-20);
}

namespace {

void Fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double angle = -2.0 * M_PI / static_cast<double>(len);
        std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
}

}  // namespace

std::vector<double> SpectralProfile(const std::vector<double> &mono, long rate, size_t begin, size_t end) {
    constexpr size_t kFrame = 4096;
    const double bandEdges[] = {40, 80, 160, 320, 640, 1280, 2560, 5120, 10240};
    constexpr int kBands = 8;
    std::vector<double> bands(kBands, 0.0), chroma(12, 0.0);
    std::vector<std::complex<double>> buf(kFrame);
    for (size_t at = begin; at + kFrame <= end && at + kFrame <= mono.size(); at += kFrame / 2) {
        for (size_t i = 0; i < kFrame; ++i) {
            double window = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (kFrame - 1));
            buf[i] = mono[at + i] * window;
        }
        Fft(buf);
        for (size_t k = 1; k < kFrame / 2; ++k) {
            double f = static_cast<double>(k) * rate / kFrame;
            double p = std::norm(buf[k]);
            for (int b = 0; b < kBands; ++b)
                if (f >= bandEdges[b] && f < bandEdges[b + 1]) bands[b] += p;
            if (f >= 100 && f < 2000) {
                double semitones = 12.0 * std::log2(f / 440.0) + 69.0;
                int pc = static_cast<int>(std::lround(semitones)) % 12;
                chroma[pc] += p;
            }
        }
    }
    std::vector<double> profile;
    for (double b : bands) profile.push_back(10.0 * std::log10(b + 1e-9));
    double total = 1e-12;
    for (double c : chroma) total += c;
    // A pitch class's share (0..1) times 30, so a complete change of
    // harmony weighs about as much as a 10 dB change in a band.
    for (double c : chroma) profile.push_back(30.0 * c / total);
    return profile;
}

double ProfileDistance(const std::vector<double> &a, const std::vector<double> &b) {
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(std::max<size_t>(1, a.size())));
}

double PowerAt(const std::vector<double> &mono, long rate, size_t begin, size_t end, double frequency) {
    double coeff = 2.0 * std::cos(2.0 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = begin; i < end && i < mono.size(); ++i) {
        double s = mono[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    double n = static_cast<double>(end - begin);
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

}  // namespace contenttest
