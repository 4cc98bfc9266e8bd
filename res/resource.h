// Identifiers shared by the resource script and the sources. Plain macros,
// because the resource compiler reads this file too.
#pragma once

#define IDD_CLOCK 101
#define IDD_HOST 102
#define IDD_ABOUT 103
#define IDR_CLOCKMENU 104
#define IDI_APP 105
#define IDB_ABOUT 106
#define IDD_GRABCOLOR 107

#define IDC_TIME 1000
#define IDC_SWATCH 1001
#define IDC_RED 1003
#define IDC_GREEN 1004
#define IDC_BLUE 1005

#define ID_EXIT 40001
#define ID_SET_FONT 40002
#define ID_SET_BACKGROUND_COLOR 40003
#define ID_TOGGLE_ONTOP 40004
#define ID_ABOUT 40005
#define ID_SAVE_CONFIG 40006
#define ID_GRAB_BACKGROUND_COLOR 40007
#define ID_GRAB_FONT_COLOR 40008
#define ID_SET_FONT_COLOR 40009
