// The clock's arithmetic, kept free of any platform header so it can be
// tested natively: the time text, edge snapping and the colour dialog's
// custom colours.
#pragma once

#include "../settings/win_types.h"

constexpr int CLOCK_TEXT_LENGTH = 8;
constexpr int SNAP_DISTANCE = 10;  // pixels, inclusive
constexpr int CUSTOM_COLOR_COUNT = 16;
// Far beyond any screen, well short of where a font rasteriser's arithmetic
// overflows (Wine's 64-bit one crashes at a height of 2^31 - 1).
constexpr std::int32_t MAX_FONT_EXTENT = 10000;  // pixels

struct ClockText {
    char text[CLOCK_TEXT_LENGTH + 1];
};

struct SnapPosition {
    std::int32_t x;
    std::int32_t y;
};

struct CustomColors {
    ColorRef colors[CUSTOM_COLOR_COUNT];
};

// "%2d:%02d %s" in twelve-hour form: 13:07 gives " 1:07 PM". Outside
// 0-23 and 0-59 (a time the C library could not give) the text is dashes.
ClockText FormatClockText(int hour, int minute);

// Holds a window that fits inside the work area and pulls it to an edge within
// SNAP_DISTANCE; near edges are tested first, far edges only when they fail.
SnapPosition SnapToWorkArea(const RectRecord& workArea, std::int32_t x,
                            std::int32_t y, std::int32_t cx, std::int32_t cy);

// The work area as far as it lies on a screen of this size at (0, 0). A
// program that is not DPI-aware gets a scaled screen and window rectangle but
// the work area in physical pixels, which can reach far past what it sees; the
// two agree when nothing is scaled. An area wholly off the screen gives the
// screen.
RectRecord ClipToScreen(const RectRecord& workArea, std::int32_t screenWidth,
                        std::int32_t screenHeight);

// The settings' font as it is drawn: height and width held within
// MAX_FONT_EXTENT either way, everything else as stored. The settings keep
// what the file said.
LogFontRecord FontForDrawing(const LogFontRecord& font);

// The colour dialog's sixteen custom colours: the system colour, the current
// colour, then white.
CustomColors MakeCustomColors(ColorRef systemColor, ColorRef currentColor);
