// The Fractint MAP palette reader.
#pragma once

#include <csignal>

// Reads mapfile into paltemp. Returns 0, or 1 when the file cannot be read,
// is not a regular file (a named pipe is refused without waiting for a
// writer) or a line among the first 256 does not start with three integers;
// on 1 paltemp is left as it was.
int OpenMapFile();

// Non-zero makes a read in progress give up, as on a read error. A signal
// handler may set it.
extern volatile std::sig_atomic_t mapcancelled;
