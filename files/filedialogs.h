// The four file-selection dialogs: their records and the path and name
// buffers that keep the user's last choice, so each dialog reopens there.
#pragma once

#include <string>

#include "platform/win32.h"

extern std::string mapfile, mapfiletitle;    // MAP palette to open
extern std::string tgafile, tgafiletitle;    // image to save
extern std::string odlafile, odlafiletitle;  // parameter file to open
extern std::string sdlafile, sdlafiletitle;  // parameter file to save

extern OPENFILENAMEA omapn, stgan, odlan, sdlan;

// Fills the buffers from the current directory ("<dir>/*.map" and so on)
// and the four records.
void InitOpenFile();
