// Growth of one image on several threads, for the batch tool. Every
// particle draws from a random stream of its own, a function of the seed
// and of its number; walkers run ahead of the committed cluster on the live
// maps, and particles are committed in order on the calling thread, each
// with exactly the walk a single thread would have made. The image is the
// same for any number of threads and any timing.
//
// It grows the image the settings describe on the canvas g_vhdc, in the
// state of the run of the growth direction (centrifugalstate() or
// centripetalstate()), as the single-stream runs do, drawing on the window
// g_hWnd while the image centre is in view. Walkers never call the
// platform layer; everything that draws or reports runs on the calling
// thread.
#pragma once

#include <cstdint>
#include <functional>

namespace zorv::grow {

struct Options {
    std::uint64_t seed = 0;
    int threads = 1;  // walkers at once, the calling thread among them
    // With a look-ahead W > 0, grows on the calling thread alone and walks
    // particle k against the cluster committed through particle k - W, as
    // a walker that far ahead would: the image is the same, the counts show
    // what running ahead costs without depending on the machine.
    int lookahead = 0;
    // Growth ends once this many particles have come to rest (the seed's
    // pixels not counted); 0 for no such end.
    std::int64_t particles = 0;
};

struct Hooks {
    // After each particle that came to rest, with its place, its contact and
    // its walk (steps, escapes, refused contacts) in the run's state; false
    // ends growth.
    std::function<bool()> settled;
    // After each particle that came to rest, and about every 50
    // microseconds of a walk; false ends growth.
    std::function<bool()> poll;
};

enum class End {
    COMPLETE,   // the seeding circle reached its limit, or an outward cluster was erased
    PARTICLES,  // Options::particles came to rest
    STOPPED,    // a hook ended growth
};

struct Result {
    End end = End::COMPLETE;
    std::int64_t particles = 0;  // particles that came to rest
    std::int64_t finalwalk = 0;  // the walk of the particle that reached the limit; 0 otherwise
    // What running ahead cost: steps walked (those of the image's moves
    // included), replayed, and walks taken back or begun again.
    std::int64_t walked = 0, replayed = 0, continued = 0, restarted = 0;
};

Result growimage(const Options& options, const Hooks& hooks);

}  // namespace zorv::grow
