#pragma once

// The screen saver's seven built-in palettes: palette[p][i] is entry i of
// palette p as red, green, blue. The saver steps through them one per run.
// Filled before main; initpalettes() restores the built-in values.
//   0  the default palette of zorv-dla
//   1  cream, tan, brown to black, black to red, red brightening to pink
//   2  four bands of 64 entries, each black -> bright peak -> black
//   3  black -> green -> yellow-green -> white -> yellow -> green -> black
//   4  a closed hue wheel; entry i + 128 is close to 252 minus entry i
//   5  ramps of 30 entries, each from dark to bright in one hue
//   6  a speckled walk through a coarse colour lattice
extern unsigned char palette[7][256][3];

void initpalettes();
