// The menu commands of the main window besides Exit, Plot Image and Clear
// Screen: files, settings dialogs, colours and palettes, help and about.
// Each does nothing while a growth run is active.
#pragma once

#include "platform/win32.h"

extern const char* const abouttext;

// The caption of the program's confirmation boxes.
constexpr const char* kProgramCaption = "ZORV DLA 2017";

// The four kinds of message box.
int informationbox(const char* text, const char* caption = kProgramCaption);
int plainbox(const char* text, const char* caption);
int warningbox(const char* text, const char* caption);
int questionbox(const char* text);

// Posts a command to the main window's own queue.
void postcommand(int id);

void LoadParameterFile(HWND hwnd);
void SaveImageAndParameters(HWND hwnd);
void SaveParametersOnly(HWND hwnd);
void Parameters(HWND hwnd);
void Algorithms(HWND hwnd);
void ColoringMethod(HWND hwnd);
void BackgroundColor(HWND hwnd);
void MapFile(HWND hwnd);
void Greyscale(HWND hwnd);
void DefaultPalette(HWND hwnd);
void HelpTopics(HWND hwnd);
void About(HWND hwnd);
