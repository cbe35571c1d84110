// zorv-dla on the desktop: the Qt backend runs the program's WinMain.
#include "app/resources.h"
#include "app/winmain.h"
#include "platform/qt/qt_main.h"

int main(int argc, char** argv) { return RunQtProgram(argc, argv, &zorvdla, WinMain); }
