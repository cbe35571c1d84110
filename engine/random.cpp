#include "engine/random.h"

#include <array>

void zorvsrand(unsigned int seed) {
    // splitmix64 spreads the seed over the whole state and never leaves it zero.
    std::uint64_t z = static_cast<std::uint64_t>(seed) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    zorv::detail::g_randomState = z ? z : 0x9E3779B97F4A7C15ull;
    // Any value serves as wyrand's state; another splitmix64 output keeps
    // the two sequences apart.
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    zorv::detail::g_stepState = z ^ (z >> 31);
}

namespace {

// The number of zorvrandom's (coarse, fine) pairs, out of 32767 x 30519, for
// which trunc(u x 100) + 1 <= probability, computed with zorvrandom's own
// arithmetic. For a fixed coarse value the test is monotone in the fine
// one, so a binary search per coarse value counts exactly.
std::uint64_t stickcount(int probability) {
    auto holds = [probability](int coarse, int fine) {
        const double u = fine * 1e-9 + coarse * 3.051850947599719e-05;
        return static_cast<int>(u * 100.0) + 1 <= probability;
    };
    std::uint64_t count = 0;
    for (int coarse = 0; coarse < 32767; ++coarse) {
        int lo = 0, hi = 30519;  // holds for fine < lo, fails for fine >= hi
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (holds(coarse, mid)) lo = mid + 1;
            else hi = mid;
        }
        count += static_cast<std::uint64_t>(lo);
    }
    return count;
}

}  // namespace

std::uint64_t stickthreshold(int probability) {
    constexpr std::uint64_t pairs = 32767ull * 30519ull;
    if (probability >= 100) return std::uint64_t{1} << 32;
    if (probability < 1) probability = 1;
    // Counted once per stickiness, on first use.
    static std::array<std::uint64_t, 100> table{};
    std::uint64_t& t = table[static_cast<std::size_t>(probability)];
    if (t == 0) {
        const std::uint64_t count = stickcount(probability);
        // count / pairs scaled to 2^32, rounded to nearest; exact in 128 bits.
        t = static_cast<std::uint64_t>(((static_cast<unsigned __int128>(count) << 32) + pairs / 2) / pairs);
    }
    return t;
}
