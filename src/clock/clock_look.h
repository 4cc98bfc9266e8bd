// The clock window's look: its font and background brush, the label's size
// and the shown time. The window procedure and the commands that change the
// look both use these, so neither has to call into the other.
#pragma once

#include <windows.h>

// Deletes the clock font, then creates it anew from the settings.
void RecreateClockFont(HWND hwnd);

// Deletes the background brush, then creates it anew from the settings.
void RecreateBackgroundBrush();

// Detaches the font from the label and deletes the font and the brush.
void ReleaseClockLook(HWND hwnd);

// Moves the time label to the client's top-left corner with this size.
void ResizeTimeLabel(HWND hwnd, int width, int height);

// Shows the current local time at once, without waiting for the tick.
void RefreshClock(HWND hwnd);

HFONT ClockFont();
HBRUSH BackgroundBrush();
