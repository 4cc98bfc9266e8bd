// The About box. Only OK (or Enter) closes it: Escape and Alt+F4 arrive as
// IDCANCEL and WM_CLOSE, which it deliberately leaves alone.
#include "about_box.h"

namespace {

constexpr INT_PTR DIALOG_DONE = 1;

// Each size is halved on its own before the subtraction, so an odd-sized box
// lands one pixel further right or down than halving the difference would.
void CentreOnScreen(HWND hwnd) {
    RECT box;
    RECT screen;
    GetWindowRect(hwnd, &box);
    GetWindowRect(GetDesktopWindow(), &screen);
    int x = (screen.right - screen.left) / 2 - (box.right - box.left) / 2;
    int y = (screen.bottom - screen.top) / 2 - (box.bottom - box.top) / 2;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace

// Returns FALSE for every message, handled or not.
INT_PTR CALLBACK AboutBox(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CentreOnScreen(hwnd);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(hwnd, DIALOG_DONE);
        }
        break;
    }
    return FALSE;
}
