// Pure helpers of the clock window; see clock_logic.h.
#include "clock_logic.h"

#include <cstring>

#include "../settings/text_builder.h"

namespace {

constexpr int HOURS_PER_DAY = 24;
constexpr int MINUTES_PER_HOUR = 60;
constexpr int NOON = 12;
constexpr int HOUR_WIDTH = 2;    // "%2d"
constexpr int MINUTE_WIDTH = 2;  // "%02d"
constexpr char UNKNOWN_TIME_TEXT[] = "--:-- --";

// Wide arithmetic keeps far-off stored rectangles from overflowing 32 bits;
// inside the 32-bit range the result is the same.
std::int32_t SnapAxis(std::int64_t position, std::int64_t nearEdge,
                      std::int64_t farEdge, std::int64_t size) {
    std::int64_t snapped = position;
    if (position - nearEdge <= SNAP_DISTANCE) {
        snapped = nearEdge;
    } else if ((farEdge - size) - position <= SNAP_DISTANCE) {
        snapped = farEdge - size;
    }
    constexpr std::int64_t LOWEST = -2147483647LL - 1;
    constexpr std::int64_t HIGHEST = 2147483647LL;
    if (snapped < LOWEST) {
        snapped = LOWEST;
    } else if (snapped > HIGHEST) {
        snapped = HIGHEST;
    }
    return static_cast<std::int32_t>(snapped);
}

}  // namespace

ClockText FormatClockText(int hour, int minute) {
    ClockText result;
    if (hour < 0 || hour >= HOURS_PER_DAY || minute < 0 ||
        minute >= MINUTES_PER_HOUR) {
        std::memcpy(result.text, UNKNOWN_TIME_TEXT, sizeof UNKNOWN_TIME_TEXT);
        return result;
    }
    const char* marker = hour >= NOON ? "PM" : "AM";
    int displayHour = hour > NOON ? hour - NOON : (hour == 0 ? NOON : hour);
    TextBuilder out(result.text, sizeof result.text);
    out.AppendDecimal(displayHour, HOUR_WIDTH);
    out.Append(":");
    out.AppendDecimal(minute, MINUTE_WIDTH, '0');
    out.Append(" ");
    out.Append(marker);
    return result;
}

SnapPosition SnapToWorkArea(const RectRecord& workArea, std::int32_t x,
                            std::int32_t y, std::int32_t cx, std::int32_t cy) {
    SnapPosition result;
    result.x = SnapAxis(x, workArea.left, workArea.right, cx);
    result.y = SnapAxis(y, workArea.top, workArea.bottom, cy);
    return result;
}

RectRecord ClipToScreen(const RectRecord& workArea, std::int32_t screenWidth,
                        std::int32_t screenHeight) {
    RectRecord clipped;
    clipped.left = workArea.left > 0 ? workArea.left : 0;
    clipped.top = workArea.top > 0 ? workArea.top : 0;
    clipped.right = workArea.right < screenWidth ? workArea.right : screenWidth;
    clipped.bottom =
        workArea.bottom < screenHeight ? workArea.bottom : screenHeight;
    if (clipped.right <= clipped.left || clipped.bottom <= clipped.top) {
        clipped.left = 0;
        clipped.top = 0;
        clipped.right = screenWidth;
        clipped.bottom = screenHeight;
    }
    return clipped;
}

namespace {

WinLong ClampExtent(WinLong extent) {
    if (extent > MAX_FONT_EXTENT) {
        return MAX_FONT_EXTENT;
    }
    return extent < -MAX_FONT_EXTENT ? -MAX_FONT_EXTENT : extent;
}

}  // namespace

LogFontRecord FontForDrawing(const LogFontRecord& font) {
    LogFontRecord drawn = font;
    drawn.lfHeight = ClampExtent(font.lfHeight);
    drawn.lfWidth = ClampExtent(font.lfWidth);
    return drawn;
}

CustomColors MakeCustomColors(ColorRef systemColor, ColorRef currentColor) {
    CustomColors result;
    for (ColorRef& color : result.colors) {
        color = COLOR_WHITE;
    }
    result.colors[0] = systemColor;
    result.colors[1] = currentColor;
    return result;
}
