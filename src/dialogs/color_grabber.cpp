// The colour grabber dialog. It samples the screen pixel under the pointer,
// at the pointer's physical position, on a 100 ms timer and touches its brush
// and labels only when the colour changes; the last sample outlives the
// dialog, so a reopening over the same colour shows white until the pointer
// finds another.
#include "color_grabber.h"

#include "../../res/resource.h"
#include "../win/gdi_object.h"

COLORREF* pGrabTarget;

namespace {

constexpr UINT_PTR TIMER_GRAB = 200;
constexpr UINT GRAB_PERIOD_MS = 100;
constexpr INT_PTR DIALOG_DONE = 1;
constexpr COLORREF INITIAL_SWATCH = RGB(255, 255, 255);
constexpr BOOL SIGNED_VALUE = TRUE;

constexpr char USER_DLL[] = "user32.dll";
constexpr char PHYSICAL_POINTER_FUNCTION[] = "GetPhysicalCursorPos";

typedef BOOL(WINAPI* PointerPosition)(POINT*);

COLORREF crLastSample;
BrushHandle hSwatchBrush;
PointerPosition pGetPointerPosition;

// The program is not DPI-aware, so on a scaled display GetCursorPos gives it
// scaled coordinates while the desktop's device context works in physical
// pixels. Windows before Vista has no GetPhysicalCursorPos, and no scaling
// either: there it is looked up in vain and GetCursorPos is right.
PointerPosition FindPointerPosition() {
    HMODULE user = GetModuleHandleA(USER_DLL);
    FARPROC physical = user != nullptr
                           ? GetProcAddress(user, PHYSICAL_POINTER_FUNCTION)
                           : nullptr;
    // Through void*: GetProcAddress knows no signatures.
    return physical != nullptr ? reinterpret_cast<PointerPosition>(
                                     reinterpret_cast<void*>(physical))
                               : GetCursorPos;
}

COLORREF SampleUnderPointer() {
    HWND desktop = GetDesktopWindow();
    HDC hdc = GetWindowDC(desktop);
    POINT pointer = {0, 0};
    pGetPointerPosition(&pointer);
    COLORREF sample = GetPixel(hdc, pointer.x, pointer.y);
    ReleaseDC(desktop, hdc);
    return sample;
}

void ShowSample(HWND hwnd) {
    hSwatchBrush.Release();
    hSwatchBrush.Adopt(CreateSolidBrush(crLastSample));
    SetDlgItemInt(hwnd, IDC_RED, GetRValue(crLastSample), SIGNED_VALUE);
    SetDlgItemInt(hwnd, IDC_GREEN, GetGValue(crLastSample), SIGNED_VALUE);
    SetDlgItemInt(hwnd, IDC_BLUE, GetBValue(crLastSample), SIGNED_VALUE);
    // Setting the empty text again is what makes the swatch repaint and
    // ask for the new brush.
    SetDlgItemTextA(hwnd, IDC_SWATCH, "");
}

BOOL OnInitDialog(HWND hwnd) {
    hSwatchBrush.Adopt(CreateSolidBrush(INITIAL_SWATCH));
    pGetPointerPosition = FindPointerPosition();
    SetTimer(hwnd, TIMER_GRAB, GRAB_PERIOD_MS, nullptr);
    return FALSE;
}

// GetPixel fails where the desktop's device context does not reach (a
// monitor left of or above the primary one), on the secure desktop and in a
// locked session; its CLR_INVALID is no colour, so the last good one stays.
BOOL OnTimer(HWND hwnd) {
    COLORREF sample = SampleUnderPointer();
    if (sample == CLR_INVALID || sample == crLastSample) {
        return TRUE;
    }
    crLastSample = sample;
    ShowSample(hwnd);
    return TRUE;
}

INT_PTR OnCtlColorStatic(HWND hwnd, HDC hdc, HWND control) {
    if (control != GetDlgItem(hwnd, IDC_SWATCH)) {
        return 0;
    }
    SetBkColor(hdc, crLastSample);
    return reinterpret_cast<INT_PTR>(hSwatchBrush.Get());
}

BOOL Close(HWND hwnd) {
    KillTimer(hwnd, TIMER_GRAB);
    hSwatchBrush.Release();
    EndDialog(hwnd, DIALOG_DONE);
    return TRUE;
}

BOOL OnCommand(HWND hwnd, WORD commandId) {
    switch (commandId) {
    case IDOK:
        *pGrabTarget = crLastSample;
        return Close(hwnd);
    case IDCANCEL:
        return Close(hwnd);
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ColorGrabber(HWND hwnd, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd);
    case WM_TIMER:
        return OnTimer(hwnd);
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(hwnd, reinterpret_cast<HDC>(wParam),
                                reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        return OnCommand(hwnd, LOWORD(wParam));
    case WM_CLOSE:
        return Close(hwnd);
    }
    return FALSE;
}
