// zorv-dla-ss on the desktop: the saver's WinMain on the Qt backend.
#include "platform/qt/qt_main.h"
#include "saver/saver.h"

int main(int argc, char** argv) { return RunQtProgram(argc, argv, &saverModule, WinMain); }
