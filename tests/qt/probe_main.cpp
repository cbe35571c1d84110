// The probe program on real windows, for the display checks.
#include "platform/qt/qt_main.h"
#include "tests/qt/probe.h"

int main(int argc, char** argv) { return RunQtProgram(argc, argv, &probe::module, probe::WinMain); }
