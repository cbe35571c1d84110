// Palette rules: the guard that keeps palette colours apart from the
// background, and the palette and background previews.
#pragma once

// Nudges the red of every palette entry that equals the background colour
// by one step, so no particle can be drawn in the empty marker. Returns 0.
int checkpalette();

// Draws the preview of paltemp on the current background in a temporary
// surface and shows it in the window's top-left 296 x 100 pixels. Returns 0.
int showpalette();

// Draws the preview of palette on the candidate background rtemp, gtemp,
// btemp straight onto the canvas's corner and shows it. Returns 0.
int showbackground();
