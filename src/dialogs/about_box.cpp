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

// The picture control loads its bitmap from the template but does not free
// it when destroyed (Wine's does not; the documentation leaves it to the
// program), so each opening would leak one bitmap. Taking it back and deleting
// it is safe either way: the control no longer holds it.
void ReleasePicture(HWND hwnd) {
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
            HANDLE picture = reinterpret_cast<HANDLE>(
                SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0));
            if (picture != nullptr) {
                DeleteObject(picture);
            }
        }
    }
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
    case WM_DESTROY:
        ReleasePicture(hwnd);
        break;
    }
    return FALSE;
}
