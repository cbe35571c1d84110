// The pseudo-random source of the growth runs: a fast 31-bit integer
// generator, and zorvrandom, which turns two of its values into a double
// spread evenly over [0, 1) with a grain of about 1e-9.
#pragma once

#include <cstdint>

namespace zorv::detail {
inline std::uint64_t g_randomState = 0x9E3779B97F4A7C15ull;
}

// Seeds the generator; equal seeds give equal sequences.
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
