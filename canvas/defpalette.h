#pragma once

// Built-in default palette of zorv-dla: 256 entries of red, green, blue.
// Every component is a multiple of 4 from 0 to 252. The colours cycle
// blue -> purple -> red -> yellow -> green -> teal -> blue; entry 0 is black
// and is never given to a particle, entry 1 colours the seed.
// The screen saver uses the same table as its palette 0.
extern const unsigned char defaultpalette[256][3];
