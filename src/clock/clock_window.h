// The clock window: a borderless dialog showing the local time, and the
// operations its commands use to bring the look up to date after a change.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ClockWindow(HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam);

// Deletes the clock font, then creates it anew from the settings.
void RecreateClockFont(HWND hwnd);

// Deletes the background brush, then creates it anew from the settings.
void RecreateBackgroundBrush();

// Moves the time label to the client's top-left corner with this size.
void ResizeTimeLabel(HWND hwnd, int width, int height);

// Runs the tick at once, so a new font or colour shows without waiting.
void RefreshClock(HWND hwnd);

HFONT ClockFont();

// Stops the timer, frees the font, brush and menu and ends the dialog: the
// one way out, for WM_CLOSE and the Exit command alike.
void CloseClockWindow(HWND hwnd);
