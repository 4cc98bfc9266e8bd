// The clock's context menu and the dispatch of its nine commands.
#pragma once

#include <windows.h>

// Shows the menu with its top-left corner at the click point.
BOOL ShowClockMenu(HWND hwnd, LPARAM clickPoint);

// TRUE for the nine menu commands, FALSE (and nothing done) for any other id.
BOOL RunClockCommand(HWND hwnd, WORD commandId);

// Frees the menu if it was ever loaded.
void ReleaseClockMenu();
