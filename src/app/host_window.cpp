// The hidden owner window and the program's run from start to end: the owner
// hides itself and runs the clock as its modal dialog, so it never shows.
#include "host_window.h"

#include "../../res/resource.h"
#include "../clock/clock_window.h"
#include "../settings/settings.h"
#include "../win/app_instance.h"

namespace {

constexpr INT_PTR DIALOG_DONE = 1;

void OnHostInitDialog(HWND hwnd) {
    ShowWindow(hwnd, SW_HIDE);
    DialogBoxParamA(hAppInstance, MAKEINTRESOURCEA(IDD_CLOCK), hwnd,
                    ClockWindow, 0);
    EndDialog(hwnd, DIALOG_DONE);
}

}  // namespace

// Returns FALSE for every message, handled or not.
INT_PTR CALLBACK HostWindow(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnHostInitDialog(hwnd);
        break;
    case WM_CLOSE:
        EndDialog(hwnd, DIALOG_DONE);
        break;
    }
    return FALSE;
}

void RunClockProgram(HINSTANCE instance) {
    hAppInstance = instance;
    if (!LoadSettings()) {
        ApplyDefaultSettings(&clockSettings, GetSysColor(COLOR_BACKGROUND));
    }
    DialogBoxParamA(hAppInstance, MAKEINTRESOURCEA(IDD_HOST), nullptr,
                    HostWindow, 0);
}
