// What the files of zorv-dla-batch share among themselves; the program and
// the tests use batch/batch.h.
#pragma once

#include <signal.h>

#include <cstdint>
#include <iterator>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"
#include "engine/growth.h"
#include "engine/parallel.h"
#include "files/savefile.h"

namespace zorv::batch {

// options.cpp: the names a choice takes besides its number, such as
// "--algorithm fractint".
extern const std::vector<std::string> ALGORITHMS, GROWTHS, COLORINGS;

// The seed of a run: the one given, or the clock's.
std::int64_t seedof(const BatchOptions& o);

// Image i (from 0) of a --count batch whose first seed is first: a run of
// its own with numbered names.
BatchOptions imageof(const BatchOptions& o, int i, std::int64_t first);

// manyimages.cpp: the cores this process may run on.
int cores();

// checks.cpp: the parameter file written beside an image.
std::string dlaname(const std::string& image);

// Whether an image's name asks for a PNG (.png, in any case) rather than a
// Targa.
bool ispng(const std::string& path);

// The path an output's name leads to: "-" is standard output.
std::string outputpath(const std::string& name);

// Why the batch cannot start, found before anything is grown, as one line
// without the program's name; empty when it can. Takes the settings from
// the inputs, and checks the output paths of every image and the frames
// folder.
std::string checkbatch(const BatchOptions& o);

// stopsignals.cpp: the signals that stop a run, SIGINT, SIGTERM, SIGHUP,
// SIGQUIT and SIGPIPE, while it lives. The handler only records the signal
// and makes saves and reads in progress fail at their next step; the growth
// loop and the saves look at caught() and remove what they had begun. The
// signals are unblocked while the handler is in place: a --count batch
// starts each image's process with them blocked, so that none is lost
// before the image's own handler is there.
inline constexpr int STOPSIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
sigset_t stopsignalset();

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that came since, or 0.
    int caught() const;
    // Its name, as the messages give it.
    const char* name() const;

private:
    struct sigaction previous_[std::size(STOPSIGNALS)] {};
    sigset_t previousmask_{};
};

// points.cpp: the particle list, a line per particle in the order they came
// to rest, the seed pixels first, each with the particle whose pixel its
// contact rule found, its walk, and its kind: seed, edge (came to rest
// against the canvas's edge) or cluster. A map from pixel to the particle
// drawn there last gives the parents; it exists only while a list is
// written.
class Particles {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    // Prepares the list and the map. False when memory or the file fails.
    bool open(const std::string& path);
    // The seed pixels: every pixel of the new image that is not background,
    // row by row. They have no parent.
    void seeds();
    // The particle that just came to rest, with the particle whose pixel
    // its contact rule found as its parent.
    void settled(const GrowthState& s);

    bool ok() const { return ok_; }
    SaveFile& file() { return file_; }

private:
    // A particle's walk: steps, times put back past its bound, contacts refused.
    struct Walk {
        std::int64_t steps = 0, escapes = 0, refused = 0;
    };
    bool inside(int x, int y) const;
    std::size_t index(int x, int y) const;
    void add(int x, int y, std::int64_t parent, int colourindex, COLORREF colour, const Walk& walk, const char* kind);
    bool line(std::string_view text);

    SaveFile file_;
    std::vector<std::uint32_t> owner_;
    std::int64_t next_ = 0;
    bool ok_ = true;
};

// Hands the seed pixels of the next image to a particle list while it lives.
class SeedHook {
public:
    explicit SeedHook(Particles* list);
    ~SeedHook();
    SeedHook(const SeedHook&) = delete;
    SeedHook& operator=(const SeedHook&) = delete;
};

// pngfile.cpp: the parameters of the image, as the PNG's text chunks hold
// them.
PngText parametertext(const BatchOptions& o, std::int64_t seed);

// frames.cpp: what an image's frames' names start with: its name, or
// OUTPUT's without its folder and extension, or else the particle list's
// (unless that goes to standard output), or else "frame".
std::string stemof(const BatchOptions& o);

// Frame n of the image whose frames' names start with stem, in the frames
// folder.
std::string framename(const std::string& dir, const std::string& stem, long n);

// A frame of this image already in the folder: an earlier run's, which
// this one would mix with.
std::string earlierframe(const std::string& dir, const std::string& stem);

// Makes the frames folder when it is missing. Returns why it cannot be
// made, as one line without the program's name, or nothing.
std::string makeframes(const BatchOptions& o);

// Writes frame n of the image, the canvas as it is now with the particles
// at rest, with the image's text chunks and the particles' count. Returns
// the frame's name when it could not be written (errno tells why), or
// nothing.
std::string writeframe(const BatchOptions& o, PngText text, long n, long particles);

// report.cpp: what one image's growth came to.
struct Grown {
    std::int64_t seed = 0;
    GrowthState state;    // the run's statistics at the end
    long particles = 0;   // particles at rest
    double growtime = 0;  // seconds of growth
    long frames = 0;      // frames written
    zorv::grow::End end = zorv::grow::End::COMPLETE;  // why growth ended
    std::int64_t finalwalk = 0;  // the walk of the particle that reached the limit
    int threads = 1;      // threads that grew it
};

// Seconds with three decimals, as the reports show them.
std::string seconds(double s);

// A colour as the list and the JSON write it: #rrggbb.
std::string colourtext(COLORREF c);

// The results of a run: the statistics as the debugging display words
// them, a line each, and the files written; or all of it as one line of
// JSON.
void report(const BatchOptions& o, const Grown& grown, std::ostream& out);

// A line on the error stream that is written over, four times a second,
// as a run goes on: it never takes more of a line than the terminal has
// (less one column, where some terminals would begin a new line), so that
// it never scrolls, and a shorter line covers a longer one with spaces. It
// is cleared before anything else is printed.
class ProgressLine {
public:
    // columns: the width at most; 0 asks the terminal each time, and gives
    // no limit when standard error is no terminal.
    ProgressLine(std::ostream& err, int columns) : err_(err), columns_(columns) {}
    // Shows the parts that fit, two spaces apart, from the first on; a part
    // too long for the line is cut.
    void show(const std::vector<std::string>& parts);
    void clear();
    // The width the line may take now; 0 for no limit.
    std::size_t width() const;

private:
    std::ostream& err_;
    int columns_;
    std::size_t shown_ = 0;
};

// The progress line of one image, now seconds into its growth.
void showprogress(ProgressLine& line, const GrowthState& state, int limit, long particles, double now);

// One image under way in a --count batch, as its progress line shows it.
struct Underway {
    std::string name;
    int radius = 0, limit = 0;
};

// The progress line of a --count batch: the images done, as many of those
// under way as fit, and the time.
void showcount(ProgressLine& line, int ended, int count, const std::vector<Underway>& underway, double now);

// oneimage.cpp: grows one image and writes its files.
int runone(const BatchOptions& o, std::ostream& out, std::ostream& err);

}  // namespace zorv::batch
