#include "clock/clock_logic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

// Built from strings rather than printf so a formatting slip in the clock
// cannot hide in the expectation too.
std::string ExpectedClockText(int hour, int minute) {
    int shown = (hour + 11) % 12 + 1;
    std::string text = shown < 10 ? " " : "";
    text += std::to_string(shown) + ":";
    text += (minute < 10 ? "0" : "") + std::to_string(minute);
    text += hour < 12 ? " AM" : " PM";
    return text;
}

TEST(FormatClockText, EveryMinuteOfTheDay) {
    for (int hour = 0; hour < 24; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            ClockText t = FormatClockText(hour, minute);
            ASSERT_EQ(std::strlen(t.text), 8u) << hour << ":" << minute;
            ASSERT_EQ(std::string(t.text), ExpectedClockText(hour, minute))
                << hour << ":" << minute;
        }
    }
}

TEST(FormatClockText, MidnightNoonAndPadding) {
    struct Case { int hour, minute; const char* text; };
    const Case cases[] = {
        {0, 0, "12:00 AM"},  {0, 5, "12:05 AM"},   {9, 5, " 9:05 AM"},
        {11, 59, "11:59 AM"}, {12, 0, "12:00 PM"}, {13, 7, " 1:07 PM"},
        {23, 59, "11:59 PM"}, {0, 30, "12:30 AM"}, {12, 30, "12:30 PM"},
        {12, 59, "12:59 PM"}, {13, 0, " 1:00 PM"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(FormatClockText(c.hour, c.minute).text, c.text)
            << c.hour << ":" << c.minute;
    }
}

TEST(FormatClockText, ImpossibleTimeGivesDashes) {
    const int cases[][2] = {{-1, -1}, {24, 0},      {5, 60},  {-1, 0},
                            {0, -1},  {23, 60},     {25, 30}, {INT_MIN, 0},
                            {0, INT_MAX}, {INT_MAX, INT_MIN}};
    for (const auto& c : cases) {
        EXPECT_STREQ(FormatClockText(c[0], c[1]).text, "--:-- --")
            << c[0] << ":" << c[1];
    }
}

TEST(SnapToWorkArea, PullsToNearestEdgeWithinTenPixels) {
    const RectRecord screen = {0, 0, 800, 570};  // left, top, right, bottom
    const RectRecord belowBar = {0, 30, 800, 600};
    struct Case {
        RectRecord area;
        std::int32_t x, y, cx, cy;
        std::int32_t wantX, wantY;
    };
    // With a 65x18 window on the 800x570 area the far edges sit at 735/552;
    // 300/200 are well clear of every edge.
    const Case cases[] = {
        {screen, 10, 200, 65, 18, 0, 200},
        {screen, 11, 200, 65, 18, 11, 200},
        {screen, -40, 200, 65, 18, 0, 200},
        {screen, 725, 200, 65, 18, 735, 200},
        {screen, 724, 200, 65, 18, 724, 200},
        {screen, 900, 200, 65, 18, 735, 200},
        {screen, 300, 5, 65, 18, 300, 0},
        {screen, 300, 542, 65, 18, 300, 552},
        {screen, 300, 541, 65, 18, 300, 541},
        {screen, 300, -500, 65, 18, 300, 0},
        {screen, 780, 560, 65, 18, 735, 552},
        {screen, 300, 200, 65, 18, 300, 200},
        // Wider than the area: the far edge lies left of the near one.
        {screen, 10, 200, 900, 18, 0, 200},
        {screen, 11, 200, 900, 18, -100, 200},
        {screen, 500, 200, 900, 18, -100, 200},
        {belowBar, 300, 35, 65, 18, 300, 30},
        {belowBar, 300, 0, 65, 18, 300, 30},
        // Far-off values: each of these wraps or snaps wrongly if the
        // differences are taken in 32 bits, and the last two need clamping.
        {{INT32_MIN, 0, INT32_MAX, 570}, INT32_MIN, 200, 65, 18, INT32_MIN, 200},
        {{INT32_MIN, 0, INT32_MAX, 570}, INT32_MAX, 200, 0, 18, INT32_MAX, 200},
        {{INT32_MIN, 0, 800, 570}, 100, 200, 65, 18, 100, 200},
        {{-1000, 0, INT32_MAX, 570}, 0, 200, INT32_MIN, 18, 0, 200},
        {{0, 0, INT32_MAX, 570}, INT32_MAX, 200, -10, 18, INT32_MAX, 200},
        {{INT32_MIN, 0, INT32_MIN, 570}, 0, 200, 10, 18, INT32_MIN, 200},
        {{0, INT32_MIN, 800, INT32_MIN}, 300, 0, 65, 10, 300, INT32_MIN},
    };
    for (const Case& c : cases) {
        SnapPosition p = SnapToWorkArea(c.area, c.x, c.y, c.cx, c.cy);
        EXPECT_EQ(p.x, c.wantX) << "x=" << c.x << " cx=" << c.cx
                                << " left=" << c.area.left;
        EXPECT_EQ(p.y, c.wantY) << "y=" << c.y << " cy=" << c.cy
                                << " top=" << c.area.top;
    }
}

// Unscaled the work area lies on the screen and stays; at 150 % a 1920x1080
// screen with its bar below is seen as 1280x720 beside a 1920x1040 area.
TEST(ClipToScreen, HoldsTheWorkAreaToTheScreenTheProgramSees) {
    struct Case {
        RectRecord area;
        std::int32_t width, height;
        RectRecord want;
    };
    const Case cases[] = {
        {{0, 0, 1024, 738}, 1024, 768, {0, 0, 1024, 738}},
        {{60, 30, 1024, 768}, 1024, 768, {60, 30, 1024, 768}},
        {{0, 0, 1920, 1040}, 1280, 720, {0, 0, 1280, 720}},
        {{-10, -20, 1920, 1040}, 1280, 720, {0, 0, 1280, 720}},
        {{100, 40, 1900, 700}, 1280, 720, {100, 40, 1280, 700}},
        // Each side on its own, on a screen wider than it is high.
        {{-10, 1, 1000, 700}, 1280, 720, {0, 1, 1000, 700}},
        {{1, 0, 1000, 700}, 1280, 720, {1, 0, 1000, 700}},
        // Wider than high, and lower than its left edge is far in.
        {{500, 0, 1000, 300}, 1280, 720, {500, 0, 1000, 300}},
        // Wholly off the screen, or empty: the screen itself.
        {{1500, 0, 1920, 1040}, 1280, 720, {0, 0, 1280, 720}},
        {{0, 800, 1280, 1040}, 1280, 720, {0, 0, 1280, 720}},
        {{300, 300, 300, 300}, 1280, 720, {0, 0, 1280, 720}},
        {{300, 0, 300, 700}, 1280, 720, {0, 0, 1280, 720}},
        {{0, 300, 1280, 300}, 1280, 720, {0, 0, 1280, 720}},
    };
    for (const Case& c : cases) {
        RectRecord got = ClipToScreen(c.area, c.width, c.height);
        EXPECT_EQ(c.want.left, got.left) << c.area.left << "," << c.area.top;
        EXPECT_EQ(c.want.top, got.top) << c.area.left << "," << c.area.top;
        EXPECT_EQ(c.want.right, got.right) << c.area.right;
        EXPECT_EQ(c.want.bottom, got.bottom) << c.area.bottom;
    }
}

TEST(MakeCustomColors, SystemThenCurrentThenWhite) {
    const ColorRef pairs[][2] = {
        {0x00123456u, 0xFF0000FFu}, {0x00000000u, 0x00000000u},
        {0xFFFFFFFFu, 0x00ABCDEFu}, {COLOR_WHITE, 0x00000001u}};
    for (const auto& p : pairs) {
        CustomColors c = MakeCustomColors(p[0], p[1]);
        EXPECT_EQ(c.colors[0], p[0]);
        EXPECT_EQ(c.colors[1], p[1]);
        for (int i = 2; i < CUSTOM_COLOR_COUNT; ++i) {
            EXPECT_EQ(c.colors[i], 0x00FFFFFFu) << "entry " << i;
        }
    }
}

}  // namespace

TEST(FontForDrawing, HoldsHeightAndWidthWithinTheLimitAndKeepsTheRest) {
    struct Case {
        std::int32_t stored;
        std::int32_t drawn;
    };
    const Case cases[] = {
        {12, 12},
        {-27, -27},
        {0, 0},
        {MAX_FONT_EXTENT, MAX_FONT_EXTENT},
        {MAX_FONT_EXTENT + 1, MAX_FONT_EXTENT},
        {-MAX_FONT_EXTENT - 1, -MAX_FONT_EXTENT},
        {INT32_MAX, MAX_FONT_EXTENT},
        {INT32_MIN, -MAX_FONT_EXTENT},
        // The limit itself: past 10,000 pixels a font is drawn at 10,000.
        {10001, 10000},
    };
    const std::size_t count = sizeof cases / sizeof cases[0];
    for (std::size_t k = 0; k < count; ++k) {
        // The width from the next row: each side is held on its own.
        const Case& c = cases[k];
        const Case& w = cases[(k + 1) % count];
        LogFontRecord font;
        std::memset(&font, 0x5A, sizeof font);
        font.lfHeight = c.stored;
        font.lfWidth = w.stored;
        LogFontRecord drawn = FontForDrawing(font);
        EXPECT_EQ(c.drawn, drawn.lfHeight) << c.stored;
        EXPECT_EQ(w.drawn, drawn.lfWidth) << w.stored;
        // Everything else passes through untouched.
        drawn.lfHeight = font.lfHeight;
        drawn.lfWidth = font.lfWidth;
        EXPECT_EQ(0, std::memcmp(&font, &drawn, sizeof font));
    }
}
