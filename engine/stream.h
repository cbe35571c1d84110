// The random numbers of one particle of a run that grows on several
// threads: every number a particle needs comes from a stream that depends
// only on the run's seed and the particle's number, so the image does not
// depend on which thread walked which particle, or when.
//
// A stream is the walk's step generator started from a splitmix64 hash of
// (seed, particle). Its first draw gives the launch angle, its second the
// grey shade; the walk's steps and stickiness draws follow. Each number has
// the chance the single-stream runs give it: the angle's two parts and the
// grey shade come from 31 evenly spread bits, as zorvrand's do.
#pragma once

#include <cstdint>

#include "engine/random.h"

namespace zorv::stream {

inline std::uint64_t splitmix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The key of a run's streams.
inline std::uint64_t streamkey(std::uint64_t seed) { return splitmix64(seed + 0x9E3779B97F4A7C15ull); }

struct ParticleDraws {
    double angle;         // zorvrandom's value: [0, 1), the fraction of a turn
    int grey;             // zorvrand() % 3 - 1: the grey shade's step, -1, 0 or 1
    std::uint64_t steps;  // the step generator's state for the walk
};

// The fixed draws of particle n and the state its walk starts from.
inline ParticleDraws particledraws(std::uint64_t key, std::int64_t n) {
    std::uint64_t state = splitmix64(key + static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull);
    const std::uint64_t first = zorvsteps(state);
    const std::uint64_t second = zorvsteps(state);
    // Two 31-bit values, as two zorvrand() calls give, for zorvrandom's two parts.
    const unsigned coarse = static_cast<unsigned>(first & 0x7FFFFFFFu) % 32767u;
    const unsigned fine = static_cast<unsigned>((first >> 32) & 0x7FFFFFFFu) % 30519u;
    const double angle = static_cast<int>(fine) * 1e-9 + static_cast<int>(coarse) * 3.051850947599719e-05;
    const int grey = static_cast<int>(static_cast<unsigned>(second & 0x7FFFFFFFu) % 3u) - 1;
    return ParticleDraws{angle, grey, state};
}

}  // namespace zorv::stream
