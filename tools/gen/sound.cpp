// The alarm: a twin-bell clock ringing in ring-ring-pause bursts, twenty seconds long.
#include <algorithm>
#include <cmath>
#include <complex>
#include "assets.h"

namespace {

constexpr double kTau = 6.283185307179586;

struct Partial { double ratio, amp, decay; };  // decay: seconds to fall to 1/e

// A small cup bell: inharmonic overtones that die away faster than the fundamental.
const Partial kPartials[] = {{1.0, 1.0, 0.20}, {2.14, 0.42, 0.11}, {3.17, 0.24, 0.07}, {4.30, 0.10, 0.045}};

struct Bell { double freq, left, right; };
// A minor third apart, one a bit to each side, as the hammer swings between them.
const Bell kBells[] = {{988.0, 0.82, 0.57}, {1175.0, 0.57, 0.82}};

constexpr double kSeconds = 20.0;
constexpr double kPeriod = 2.0;                       // ring, ring, pause
constexpr double kBursts[][2] = {{0.0, 0.45}, {0.62, 1.07}};
constexpr double kStrikeRate = 17.0;                  // hammer blows per second
constexpr double kPeak = 0.5;                         // -6 dBFS

// A fixed sequence, so the file is identical on every build.
uint32_t lcg(uint32_t& s) { return s = s * 1664525u + 1013904223u; }
double unit(uint32_t& s) { return (lcg(s) >> 8) / 16777216.0; }

// Adds one hammer blow; each partial is a decaying phasor turned by one complex multiply per sample.
void strike(std::vector<double>& l, std::vector<double>& r, size_t at, const Bell& bell, double force,
            uint32_t& seed) {
    const size_t frames = l.size();
    for (const Partial& p : kPartials) {
        double w = kTau * bell.freq * p.ratio / kRate;
        std::complex<double> step = std::polar(std::exp(-1.0 / (p.decay * kRate)), w);
        // A random start phase: blows never line up into a louder sum by accident.
        std::complex<double> z = std::polar(force * p.amp, kTau * unit(seed));
        size_t n = std::min(frames - at, static_cast<size_t>(p.decay * 9 * kRate));
        for (size_t i = 0; i < n; ++i) {
            l[at + i] += bell.left * z.imag();
            r[at + i] += bell.right * z.imag();
            z *= step;
        }
    }
    // The hammer's click: a few milliseconds of decaying noise.
    size_t clickLen = std::min(frames - at, static_cast<size_t>(0.004 * kRate));
    for (size_t i = 0; i < clickLen; ++i) {
        double v = 0.12 * force * (2 * unit(seed) - 1) * std::exp(-static_cast<double>(i) / (0.0008 * kRate));
        l[at + i] += v * bell.left;
        r[at + i] += v * bell.right;
    }
}

}  // namespace

std::vector<int16_t> makeAlarm() {
    const size_t frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<double> l(frames, 0.0), r(frames, 0.0);
    uint32_t seed = 20240611u;

    int blow = 0;
    for (double start = 0; start < kSeconds - 0.5; start += kPeriod)
        for (const auto& burst : kBursts)
            for (double t = burst[0]; t < burst[1]; t += 1 / kStrikeRate) {
                double force = 0.85 + 0.15 * unit(seed);
                strike(l, r, static_cast<size_t>((start + t) * kRate), kBells[blow++ % 2], force, seed);
            }

    // Scale to the measured peak: whatever the partials add up to, nothing exceeds -6 dBFS.
    double peak = 0;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(l[i]), std::fabs(r[i])});
    const double gain = peak > 0 ? kPeak * 32767 / peak : 0;

    std::vector<int16_t> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<int16_t>(std::lround(l[i] * gain));
        out[2 * i + 1] = static_cast<int16_t>(std::lround(r[i] * gain));
    }
    return out;
}
