// The Fractint MAP palette reader.
#pragma once

// Reads mapfile into paltemp. Returns 0, or 1 when the file cannot be opened
// or a line among the first 256 does not start with three integers.
int OpenMapFile();
