#include "engine/random.h"

void zorvsrand(unsigned int seed) {
    // splitmix64 spreads the seed over the whole state and never leaves it zero.
    std::uint64_t z = static_cast<std::uint64_t>(seed) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    zorv::detail::g_randomState = z ? z : 0x9E3779B97F4A7C15ull;
}
