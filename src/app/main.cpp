// Velmora's entry point. It takes no arguments and always exits with 1.
#include <windows.h>

#include "host_window.h"

namespace {
constexpr int EXIT_CODE = 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RunClockProgram(instance);
    return EXIT_CODE;
}
