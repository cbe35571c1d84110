// The Fractint MAP palette reader.
#pragma once

// Reads mapfile into paltemp. Returns 0, or 1 when the file cannot be read
// or a line among the first 256 does not start with three integers; on 1
// paltemp is left as it was.
int OpenMapFile();
