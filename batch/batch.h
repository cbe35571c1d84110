// zorv-dla-batch: grows one image without a window, with the interactive
// program's growth runs and writers on the headless backend.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct BatchOptions {
    std::string output;                   // the Targa file; the parameter file goes beside it
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
    std::optional<std::int64_t> seed;     // calendar seconds; by default the clock's
    std::string png;                      // a PNG copy
    bool quiet = false;
    bool progress = false;                // a progress line on the error stream
};

// Parses the command line. On a usage error prints one line to err and
// returns the exit code (2, or 0 after --help); otherwise returns -1.
int parsebatch(int argc, char** argv, BatchOptions& options, std::ostream& out, std::ostream& err);

// Checks the options, input files and output paths, grows the image and
// writes the files. Returns the exit code: 0; 2 after one line on err when
// a check failed before growth; 1 after one line when a save failed; 130 or
// 143 after SIGINT or SIGTERM. On any code but 0 no output file was changed
// and no temporary file is left.
int runbatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

// Writes the canvas of xres x yres pixels as an 8-bit RGB PNG through the
// atomic save. Returns 0, or the writers' codes: 1 (cannot open), 2 (no
// memory), 3 (a write failed).
int writepng(const std::string& path);
