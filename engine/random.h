// The pseudo-random source of the growth runs: a fast 31-bit integer
// generator, and zorvrandom, which turns two of its values into a double
// spread evenly over [0, 1) with a grain of about 1e-9.
#pragma once

#include <cstdint>

namespace zorv::detail {
inline std::uint64_t g_randomState = 0x9E3779B97F4A7C15ull;
inline std::uint64_t g_stepState = 0x2545F4914F6CDD1Dull;
}

// Seeds the generator, and the walk's step generator beside it; equal seeds
// give equal sequences.
void zorvsrand(unsigned int seed);

// The next integer, spread evenly over 0 to 2^31 - 1 (xorshift64*, top 31 bits).
inline int zorvrand() {
    std::uint64_t x = zorv::detail::g_randomState;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    zorv::detail::g_randomState = x;
    return static_cast<int>((x * 0x2545F4914F6CDD1Dull) >> 33);
}

// A coarse part in steps of 1/32767 plus a fine part below one step, so the
// result is at most 0.99999999949 and never reaches 1.
inline double zorvrandom() {
    int random_integer = static_cast<int>(static_cast<unsigned>(zorvrand()) % 32767u);
    double random_double = random_integer * 3.051850947599719e-05;
    int temp_integer = static_cast<int>(static_cast<unsigned>(zorvrand()) % 30519u);
    double temp_double = temp_integer * 1e-9;
    return temp_double + random_double;
}

// The walk's own draws, 64 bits at a time (wyrand: one multiply per draw,
// passes BigCrush and PractRand). The caller keeps the state, normally a
// local copy of zorv::detail::g_stepState for the length of one walk.
inline std::uint64_t zorvsteps(std::uint64_t& state) {
    state += 0xA0761D6478BD642Full;
    const unsigned __int128 t = static_cast<unsigned __int128>(state) * (state ^ 0xE7037ED1A0B428DBull);
    return static_cast<std::uint64_t>(t >> 64) ^ static_cast<std::uint64_t>(t);
}

// trunc(u x 3) - 1 for a zorvrandom draw u is -1, 0 or +1 with chance 1/3
// each; this gives the same from 32 random bits, each value within 2^-32.
inline int unitstep(std::uint32_t bits) { return static_cast<int>((std::uint64_t{bits} * 3u) >> 32) - 1; }
inline std::int64_t unitstep64(std::uint32_t bits) { return static_cast<std::int64_t>((std::uint64_t{bits} * 3u) >> 32) - 1; }

// The stickiness test holds when trunc(u x 100) + 1 <= probability for a
// zorvrandom draw u. stickthreshold gives t with that chance equal to
// t / 2^32 (within 2^-33), so "32 random bits < t" decides it with one
// draw; 2^32 means it always holds.
std::uint64_t stickthreshold(int probability);
