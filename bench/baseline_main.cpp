// The baseline program's entry point.
#include <windows.h>

#include "baseline_resource.h"
#include "baseline_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BASELINE), nullptr,
                    BaselineWindow, 0);
    return 1;
}
