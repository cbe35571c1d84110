// zorv-dla-batch: grows images without a window, with the interactive
// program's growth runs and writers on the headless backend.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a run of a --count batch tells the process that started it, through
// shared memory, for the progress line.
struct RunProgress {
    std::atomic<int> radius{0}, limit{0};
    std::atomic<long long> particles{0};
};

struct BatchOptions {
    std::string output;                   // the image: FILE.tga (Targa) or FILE.png, with the .dla beside it; or none
    std::string params;                   // a parameter file to start from
    std::optional<int> width, height;     // default 400 x 400
    std::optional<int> radius;            // starting radius
    std::optional<int> stickiness;
    std::optional<int> algorithm;
    std::optional<int> growth;
    std::optional<int> coloring;
    bool greyscale = false;
    std::optional<std::vector<int>> background;  // red, green, blue
    std::string map;                      // a MAP palette
    std::optional<std::int64_t> seed;     // 0 to 2^32 - 1; by default drawn from the system's entropy
    std::optional<std::int64_t> particles;  // growth ends once this many particles have come to rest
    std::string png;                      // a PNG copy; "-" for standard output
    std::string points;                   // the particle list (CSV); "-" for standard output
    std::string frames;                   // a folder for PNG frames of the growth
    std::string name;                     // what the frames are named after; by default OUTPUT's name
    long every = 1000;                    // particles from one frame to the next
    std::optional<int> count;             // grow this many images, with numbered names
    std::optional<int> threads;           // threads growing each image; by default the cores (shared by --count)
    bool quiet = false;                   // nothing on the output streams but errors
    bool json = false;                    // the results as one line of JSON
    bool progress = false;                // a progress line on the error stream
    int columns = 0;                      // the progress line's width at most; 0: the terminal's, asked each time
    RunProgress* report = nullptr;        // where one image of a --count batch shows its progress
};

// Parses the command line. On a usage error prints one line to err and
// returns the exit code (2, or 0 after --help or --version); otherwise
// returns -1.
int parsebatch(int argc, char** argv, BatchOptions& options, std::ostream& out, std::ostream& err);

// Checks the options, input files and output paths, grows the image (or
// the --count images) and writes the files. Returns the exit code: 0; 2
// after one line on err when a check failed before growth; 1 after one line
// when a save or a write to out or err failed; 128 + the signal after a stop
// signal. On any code but 0 no output file of an unfinished image was
// changed and no temporary file is left; frames already written stay. When
// the particle list or the PNG copy goes to standard output ("-"), what
// would go to out goes to err.
int runbatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

// The text chunks of a PNG: keyword and value.
using PngText = std::vector<std::pair<std::string, std::string>>;

// Writes the canvas of xres x yres pixels as an 8-bit RGB PNG marked sRGB,
// with the given text chunks, through the atomic save; level is zlib's
// compression level (-1 its default). Returns 0, or the writers' codes: 1
// (cannot open), 2 (no memory), 3 (a write failed), with errno telling why.
int writepng(const std::string& path, const PngText& text = {}, int level = -1);

// The name of image index (1 to count) of a --count batch: the number,
// at least 4 digits wide, before the file's extension ("out.tga" gives
// "out-0001.tga").
std::string numberedname(const std::string& path, int index, int count);

// The program's name and version, as --version shows it.
std::string batchversion();
