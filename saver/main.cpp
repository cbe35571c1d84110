// zorv-dla-ss on the desktop: the saver's WinMain on the Qt backend, on its
// own screen or inside a screen-saver framework's window.
#include "platform/qt/qt_embed.h"
#include "saver/saver.h"

int main(int argc, char** argv) { return RunQtSaver(argc, argv, &saverModule, WinMain); }
