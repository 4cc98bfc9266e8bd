// The look commands as a user meets them: the colour grabber, the standard
// colour and font dialogs, and the clock showing what they chose at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "driver.h"
#include "tick_probe.h"

namespace {

constexpr char CONFIG[] = "Velmora.cfg";
constexpr char GRABBER_TITLE[] = "Grab Color";
constexpr char MESSAGE_TITLE[] = "Velmora";
constexpr char MEASURE_TEXT[] = "88:88 MM";
constexpr int TEXT_MARGIN = 2;
constexpr DWORD SAMPLE_WAIT_MS = 1000;  // the grabber samples 10 times a second
// Bare X root, black, away from every window and menu.
constexpr POINT NEUTRAL = {1000, 740};
constexpr POINT BARE = {900, 700};
constexpr RECT SAMPLE_RECT = {500, 300, 700, 500};
constexpr COLORREF BLACK = RGB(0, 0, 0);
constexpr COLORREF WHITE = RGB(255, 255, 255);
// The standard dialogs' controls, as Wine and Windows number them.
constexpr int RED_EDIT = 706;
constexpr int GREEN_EDIT = 707;
constexpr int BLUE_EDIT = 708;
constexpr int DEFINE_CUSTOM_BUTTON = 719;
constexpr int FACE_LIST = 1136;
constexpr int SIZE_LIST = 1138;
constexpr int DEFAULT_FONT_HEIGHT = 12;

// The pointer leaves the popup once it is open: resting over it would
// preselect the item under it.
bool ChooseFromMenu(HWND clock, WORD mnemonic) {
    MovePointer(NEUTRAL.x, NEUTRAL.y);
    POINT at = Middle(WindowRect(clock));
    ClickAt(at.x, at.y, true);
    if (!WaitUntil([] { return FindPopupMenu() != nullptr; })) {
        return false;
    }
    MovePointer(NEUTRAL.x, NEUTRAL.y);
    PressKey(mnemonic);
    return WaitUntil([] { return FindPopupMenu() == nullptr; });
}

// Through the real menu when a mnemonic is given, else by a posted command.
bool RunCommand(HWND clock, WORD command, WORD mnemonic) {
    if (mnemonic != 0) {
        return ChooseFromMenu(clock, mnemonic);
    }
    return PostMessageA(clock, WM_COMMAND, command, 0) != FALSE;
}

// The standard dialogs' titles vary with the system's language; they are
// the process's only visible #32770 besides the clock.
HWND WaitForOtherDialog(const ClockProcess& process, HWND clock) {
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND hwnd : process.TopLevelWindows()) {
            char name[16] = "";
            GetClassNameA(hwnd, name, sizeof name);
            if (hwnd != clock && IsWindowVisible(hwnd) &&
                std::string(name) == "#32770") {
                found = hwnd;
                return true;
            }
        }
        return false;
    });
    return found;
}

// Posted: a sent BM_CLICK can block on another process's dialog.
bool CloseWith(HWND dialog, UINT message, WPARAM wParam) {
    PostMessageA(dialog, message, wParam, 0);
    return WaitUntil([&] { return !IsWindow(dialog); });
}

std::string Decimal(int value) { return std::to_string(value); }

std::string Rgb(HWND dialog, int red, int green, int blue) {
    return WindowText(GetDlgItem(dialog, red)) + "," +
           WindowText(GetDlgItem(dialog, green)) + "," +
           WindowText(GetDlgItem(dialog, blue));
}

std::string Rgb(COLORREF c) {
    return Decimal(GetRValue(c)) + "," + Decimal(GetGValue(c)) + "," +
           Decimal(GetBValue(c));
}

std::string GrabberLabels(HWND grabber) {
    return Rgb(grabber, IDC_RED, IDC_GREEN, IDC_BLUE);
}

COLORREF SwatchPixel(HWND grabber) {
    POINT centre = Middle(WindowRect(GetDlgItem(grabber, IDC_SWATCH)));
    return ScreenPixel(centre.x, centre.y);
}

::testing::AssertionResult GrabberShows(HWND grabber, COLORREF colour,
                                        const std::string& labels) {
    if (WaitUntil([&] {
            return GrabberLabels(grabber) == labels &&
                   SwatchPixel(grabber) == colour;
        }, SAMPLE_WAIT_MS)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "labels " << GrabberLabels(grabber) << ", swatch "
           << Rgb(SwatchPixel(grabber)) << "; expected " << labels
           << ", swatch " << Rgb(colour);
}

COLORREF BackgroundPixel(HWND clock) {
    RECT rect = WindowRect(clock);
    return ScreenPixel(rect.left + 1, rect.top + 1);
}

// The background at the corner, and text only in the given colour.
::testing::AssertionResult ClockShows(HWND clock, COLORREF background,
                                      COLORREF text, COLORREF absent) {
    if (WaitUntil([&] {
            RECT rect = WindowRect(clock);
            return BackgroundPixel(clock) == background &&
                   CountPixels(rect, text) > 0 &&
                   CountPixels(rect, absent) == 0;
        })) {
        return ::testing::AssertionSuccess();
    }
    RECT rect = WindowRect(clock);
    return ::testing::AssertionFailure()
           << "background " << Rgb(BackgroundPixel(clock)) << " (expected "
           << Rgb(background) << "), " << CountPixels(rect, text)
           << " pixels of " << Rgb(text) << ", " << CountPixels(rect, absent)
           << " of " << Rgb(absent);
}

// The bounding box of the pixels of this colour on the screen.
RECT ColourBounds(const RECT& area, COLORREF colour) {
    HWND desktop = GetDesktopWindow();
    HDC hdc = GetWindowDC(desktop);
    RECT bounds = {area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (GetPixel(hdc, x, y) == colour) {
                bounds.left = x < bounds.left ? x : bounds.left;
                bounds.right = x + 1 > bounds.right ? x + 1 : bounds.right;
                bounds.top = y < bounds.top ? y : bounds.top;
                bounds.bottom = y + 1 > bounds.bottom ? y + 1 : bounds.bottom;
            }
        }
    }
    ReleaseDC(desktop, hdc);
    return bounds;
}

bool SetText(HWND control, const std::string& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS,
                               &result) != 0;
}

// Wide on purpose: Wine hands list strings across processes only in the
// W form.
LRESULT ListIndex(HWND combo, const std::string& text) {
    std::wstring wide(text.begin(), text.end());
    DWORD_PTR index = static_cast<DWORD_PTR>(CB_ERR);
    SendMessageTimeoutW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(wide.c_str()),
                        SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS, &index);
    return static_cast<LRESULT>(index);
}

// Selects as a click in the list does: the selection, then the note.
bool SelectInList(HWND dialog, int id, const std::string& text) {
    HWND combo = GetDlgItem(dialog, id);
    LRESULT index = CB_ERR;
    if (!WaitUntil([&] {
            index = ListIndex(combo, text);
            return index != CB_ERR;
        })) {
        return false;
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0,
                        SMTO_ABORTIFHUNG, WAIT_TIMEOUT_MS, &result);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    return WaitUntil([&] { return WindowText(combo) == text; });
}

struct Saved {
    LOGFONTA font = {};
    COLORREF background = 0;
    COLORREF text = 0;
    RECT window = {0, 0, 0, 0};
};

bool ParseConfig(const std::string& bytes, Saved* saved) {
    int v[20] = {};
    char face[LF_FACESIZE] = "";
    int read = std::sscanf(
        bytes.c_str(), "%d %d %d %31s %d %d %d %d %d %d %d %d %d %d %d %d %d "
                       "%d %d %d %d",
        &v[0], &v[1], &v[2], face, &v[3], &v[4], &v[5], &v[6], &v[7], &v[8],
        &v[9], &v[10], &v[11], &v[12], &v[13], &v[14], &v[15], &v[16], &v[17],
        &v[18], &v[19]);
    if (read != 21) {
        return false;
    }
    for (char* p = face; *p != '\0'; ++p) {
        *p = *p == '+' ? ' ' : *p;
    }
    LOGFONTA& f = saved->font;
    f.lfCharSet = static_cast<BYTE>(v[0]);
    f.lfClipPrecision = static_cast<BYTE>(v[1]);
    f.lfEscapement = v[2];
    lstrcpynA(f.lfFaceName, face, LF_FACESIZE);
    f.lfHeight = v[3];
    f.lfItalic = static_cast<BYTE>(v[4]);
    f.lfOrientation = v[5];
    f.lfOutPrecision = static_cast<BYTE>(v[6]);
    f.lfPitchAndFamily = static_cast<BYTE>(v[7]);
    f.lfQuality = static_cast<BYTE>(v[8]);
    f.lfStrikeOut = static_cast<BYTE>(v[9]);
    f.lfUnderline = static_cast<BYTE>(v[10]);
    f.lfWeight = v[11];
    f.lfWidth = v[12];
    saved->background = static_cast<COLORREF>(v[13]);
    saved->text = static_cast<COLORREF>(v[14]);
    saved->window = {v[17], v[19], v[18], v[16]};
    return true;
}

SIZE MeasureText(const LOGFONTA& font) {
    SIZE extent = {0, 0};
    HDC screen = GetDC(nullptr);
    HFONT handle = CreateFontIndirectA(&font);
    HGDIOBJ previous = SelectObject(screen, handle);
    GetTextExtentPoint32A(screen, MEASURE_TEXT, sizeof MEASURE_TEXT - 1,
                          &extent);
    SelectObject(screen, previous);
    DeleteObject(handle);
    ReleaseDC(nullptr, screen);
    return extent;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

class LookTest : public ::testing::Test {
protected:
    void SetUp() override {
        MovePointer(NEUTRAL.x, NEUTRAL.y);
        clock = process.Clock();
        ASSERT_NE(nullptr, clock);
    }

    // Saves through the command, closes the report and reads the file back.
    void SaveAndRead(Saved* saved) {
        PostMessageA(clock, WM_COMMAND, ID_SAVE_CONFIG, 0);
        HWND box = WaitForDialog(process.Id(), MESSAGE_TITLE);
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(CloseWith(box, WM_COMMAND, IDOK));
        std::string bytes;
        ASSERT_TRUE(directory.ReadFile(CONFIG, &bytes));
        ASSERT_TRUE(ParseConfig(bytes, saved)) << bytes;
    }

    // What a save stores tells the settings from what happens to be shown.
    void ExpectSavedColours(COLORREF background, COLORREF text) {
        Saved saved;
        SaveAndRead(&saved);
        EXPECT_EQ(Rgb(background), Rgb(saved.background));
        EXPECT_EQ(Rgb(text), Rgb(saved.text));
    }

    TempDirectory directory;
    ClockProcess process{directory.Path()};
    HWND clock = nullptr;
    const COLORREF desktop = GetSysColor(COLOR_BACKGROUND);
};

// ---- The grabber ----

enum class Ending { OkCommand, EnterKey, CancelCommand, CloseMessage };

struct GrabCase {
    const char* name;
    WORD command;
    WORD mnemonic;  // 0: the command is posted
    COLORREF colour;
    Ending ending;
};

void PrintTo(const GrabCase& c, std::ostream* out) { *out << c.name; }

class GrabTest : public LookTest,
                 public ::testing::WithParamInterface<GrabCase> {};

TEST_P(GrabTest, SamplesUnderPointerAndOkAloneStoresIt) {
    const GrabCase& c = GetParam();
    bool background = c.command == ID_GRAB_BACKGROUND_COLOR;
    bool stored = c.ending == Ending::OkCommand || c.ending == Ending::EnterKey;
    // Shown before the grabber opens: a new window takes the foreground.
    ColouredWindow sample(SAMPLE_RECT, c.colour, true);
    ASSERT_TRUE(ClockShows(clock, desktop, WHITE, c.colour));

    ASSERT_TRUE(RunCommand(clock, c.command, c.mnemonic));
    HWND grabber = WaitForDialog(process.Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    EXPECT_EQ(clock, GetWindow(grabber, GW_OWNER));
    EXPECT_TRUE(IsTopmost(grabber));
    EXPECT_EQ(0, GetWindowLongA(grabber, GWL_STYLE) & WS_SYSMENU);
    RECT overlap;
    RECT grabberRect = WindowRect(grabber);
    ASSERT_FALSE(IntersectRect(&overlap, &grabberRect, &SAMPLE_RECT));

    POINT inside = Middle(SAMPLE_RECT);
    MovePointer(inside.x, inside.y);
    EXPECT_TRUE(GrabberShows(grabber, c.colour, Rgb(c.colour)));
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    EXPECT_TRUE(probe.SeesTicks(2));

    switch (c.ending) {
    case Ending::OkCommand:
        ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDOK));
        break;
    case Ending::EnterKey:
        ASSERT_TRUE(WaitUntil([&] {
            return GetForegroundWindow() == grabber;
        }));
        PressKey(VK_RETURN);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(grabber); }));
        break;
    case Ending::CancelCommand:
        ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDCANCEL));
        break;
    case Ending::CloseMessage:
        ASSERT_TRUE(CloseWith(grabber, WM_CLOSE, 0));
        break;
    }
    MovePointer(NEUTRAL.x, NEUTRAL.y);
    COLORREF expectedBackground = stored && background ? c.colour : desktop;
    COLORREF expectedText = stored && !background ? c.colour : WHITE;
    EXPECT_TRUE(ClockShows(clock, expectedBackground, expectedText,
                           stored ? (background ? desktop : WHITE)
                                  : c.colour));
    ExpectSavedColours(expectedBackground, expectedText);
}

const GrabCase GRAB_CASES[] = {
    {"BackgroundByMenuAndEnter", ID_GRAB_BACKGROUND_COLOR, 'G',
     RGB(201, 57, 13), Ending::EnterKey},
    {"FontByMenuAndOk", ID_GRAB_FONT_COLOR, 'C', RGB(30, 180, 240),
     Ending::OkCommand},
    {"BackgroundCancelled", ID_GRAB_BACKGROUND_COLOR, 0, RGB(120, 240, 60),
     Ending::CancelCommand},
    {"BackgroundClosed", ID_GRAB_BACKGROUND_COLOR, 0, RGB(90, 20, 150),
     Ending::CloseMessage},
    {"FontCancelled", ID_GRAB_FONT_COLOR, 0, RGB(250, 200, 10),
     Ending::CancelCommand},
    {"FontClosed", ID_GRAB_FONT_COLOR, 0, RGB(77, 66, 55),
     Ending::CloseMessage},
};
INSTANTIATE_TEST_SUITE_P(Grab, GrabTest, ::testing::ValuesIn(GRAB_CASES),
                         [](const ::testing::TestParamInfo<GrabCase>& info) {
                             return std::string(info.param.name);
                         });

// The last sample outlives the dialog and starts as black: a pointer over
// that colour changes nothing until it finds another.
TEST_F(LookTest, GrabberShowsWhiteUntilTheSampleChanges) {
    const COLORREF colour = RGB(201, 57, 13);
    const std::string unchanged = "255,255,255";
    ColouredWindow sample(SAMPLE_RECT, colour, true);
    MovePointer(BARE.x, BARE.y);
    ASSERT_EQ(BLACK, ScreenPixel(BARE.x, BARE.y));
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());

    PostMessageA(clock, WM_COMMAND, ID_GRAB_BACKGROUND_COLOR, 0);
    HWND grabber = WaitForDialog(process.Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    // Three clock ticks are some thirty grabber samples.
    ASSERT_TRUE(probe.SeesTicks(3));
    EXPECT_EQ(unchanged, GrabberLabels(grabber));
    EXPECT_EQ(WHITE, SwatchPixel(grabber));
    POINT inside = Middle(SAMPLE_RECT);
    MovePointer(inside.x, inside.y);
    EXPECT_TRUE(GrabberShows(grabber, colour, Rgb(colour)));
    ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDCANCEL));

    // Reopened over the same colour, for the other setting.
    PostMessageA(clock, WM_COMMAND, ID_GRAB_FONT_COLOR, 0);
    grabber = WaitForDialog(process.Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    ASSERT_TRUE(probe.SeesTicks(3));
    EXPECT_EQ(unchanged, GrabberLabels(grabber));
    EXPECT_EQ(WHITE, SwatchPixel(grabber));
    MovePointer(BARE.x, BARE.y);
    EXPECT_TRUE(GrabberShows(grabber, BLACK, "0,0,0"));
    ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDOK));
    EXPECT_TRUE(ClockShows(clock, desktop, BLACK, WHITE));
    ExpectSavedColours(desktop, BLACK);
}

TEST_F(LookTest, GrabberShowsEachPureColourInFull) {
    const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0),
                                RGB(0, 0, 255), RGB(255, 255, 0),
                                RGB(0, 0, 0)};
    std::vector<std::unique_ptr<ColouredWindow>> windows;
    for (size_t i = 0; i < sizeof colours / sizeof colours[0]; ++i) {
        LONG left = SAMPLE_RECT.left + static_cast<LONG>(i) * 60;
        windows.emplace_back(new ColouredWindow(
            {left, SAMPLE_RECT.top, left + 50, SAMPLE_RECT.top + 50},
            colours[i], true));
    }
    PostMessageA(clock, WM_COMMAND, ID_GRAB_FONT_COLOR, 0);
    HWND grabber = WaitForDialog(process.Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    for (size_t i = 0; i < windows.size(); ++i) {
        POINT inside = Middle(WindowRect(windows[i]->Get()));
        MovePointer(inside.x, inside.y);
        EXPECT_TRUE(GrabberShows(grabber, colours[i], Rgb(colours[i])))
            << "over " << Rgb(colours[i]);
    }
    ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDCANCEL));
    EXPECT_TRUE(ClockShows(clock, desktop, WHITE, BLACK));
    ExpectSavedColours(desktop, WHITE);
}

// ---- The standard colour dialog ----

struct ColourCase {
    const char* name;
    WORD command;
    WORD mnemonic;  // 0: the command is posted
    COLORREF chosen;
    bool ok;
};

void PrintTo(const ColourCase& c, std::ostream* out) { *out << c.name; }

class ColourDialogTest : public LookTest,
                         public ::testing::WithParamInterface<ColourCase> {
protected:
    // Opens the dialog and checks it shows this colour in full view.
    HWND OpenAt(const ColourCase& c, WORD mnemonic, COLORREF current) {
        if (!RunCommand(clock, c.command, mnemonic)) {
            return nullptr;
        }
        HWND dialog = WaitForOtherDialog(process, clock);
        if (dialog == nullptr) {
            return nullptr;
        }
        EXPECT_EQ(clock, GetWindow(dialog, GW_OWNER));
        EXPECT_TRUE(WaitUntil([&] {
            return Rgb(dialog, RED_EDIT, GREEN_EDIT, BLUE_EDIT) ==
                   Rgb(current);
        })) << Rgb(dialog, RED_EDIT, GREEN_EDIT, BLUE_EDIT);
        // Fully open: the custom part is inside the window, and the button
        // that would open it is off.
        RECT outer = WindowRect(dialog);
        RECT edit = WindowRect(GetDlgItem(dialog, BLUE_EDIT));
        RECT both;
        EXPECT_TRUE(IntersectRect(&both, &outer, &edit) &&
                    SameRect(both, edit));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, DEFINE_CUSTOM_BUTTON)));
        return dialog;
    }
};

TEST_P(ColourDialogTest, StartsAtCurrentColourAndOkAppliesAtOnce) {
    const ColourCase& c = GetParam();
    bool background = c.command == ID_SET_BACKGROUND_COLOR;
    COLORREF current = background ? desktop : WHITE;
    HWND dialog = OpenAt(c, c.mnemonic, current);
    ASSERT_NE(nullptr, dialog);
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    EXPECT_TRUE(probe.SeesTicks(2));

    const int edits[] = {RED_EDIT, GREEN_EDIT, BLUE_EDIT};
    const int values[] = {GetRValue(c.chosen), GetGValue(c.chosen),
                          GetBValue(c.chosen)};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SetText(GetDlgItem(dialog, edits[i]), Decimal(values[i])));
    }
    ASSERT_EQ(Rgb(c.chosen), Rgb(dialog, RED_EDIT, GREEN_EDIT, BLUE_EDIT));
    ASSERT_TRUE(CloseWith(dialog, WM_COMMAND, c.ok ? IDOK : IDCANCEL));

    COLORREF expectedBackground = c.ok && background ? c.chosen : desktop;
    COLORREF expectedText = c.ok && !background ? c.chosen : WHITE;
    EXPECT_TRUE(ClockShows(clock, expectedBackground, expectedText,
                           c.ok ? current : c.chosen));
    ExpectSavedColours(expectedBackground, expectedText);
    if (!c.ok) {
        return;
    }
    // The next opening starts from the colour now in use.
    dialog = OpenAt(c, 0, c.chosen);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(CloseWith(dialog, WM_COMMAND, IDCANCEL));
}

const ColourCase COLOUR_CASES[] = {
    {"BackgroundByMenu", ID_SET_BACKGROUND_COLOR, 'B', RGB(12, 200, 99), true},
    {"TextByMenu", ID_SET_FONT_COLOR, 'S', RGB(240, 20, 160), true},
    {"BackgroundCancelled", ID_SET_BACKGROUND_COLOR, 0, RGB(12, 200, 99),
     false},
    {"TextCancelled", ID_SET_FONT_COLOR, 0, RGB(240, 20, 160), false},
};
INSTANTIATE_TEST_SUITE_P(Colour, ColourDialogTest,
                         ::testing::ValuesIn(COLOUR_CASES),
                         [](const ::testing::TestParamInfo<ColourCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- The standard font dialog ----

struct FontCase {
    const char* name;
    WORD mnemonic;      // 0: the command is posted
    const char* face;   // chosen from the list, or null to keep the face
    const char* size;
    bool typed;         // typed into the size box rather than listed
    bool ok;
};

void PrintTo(const FontCase& c, std::ostream* out) { *out << c.name; }

class FontDialogTest : public LookTest,
                       public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontDialogTest, ResizesToTheTimeInTheNewFontFromTheSameCorner) {
    const FontCase& c = GetParam();
    const int dpi = ScreenDpi();
    // Away from the corner, so a kept corner is not just snapping.
    SetWindowPos(clock, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(WaitUntil([&] { return WindowRect(clock).left == 300; }));
    RECT before = WindowRect(clock);
    ASSERT_TRUE(ClockShows(clock, desktop, WHITE, BLACK));
    RECT textBefore = ColourBounds(before, WHITE);

    ASSERT_TRUE(RunCommand(clock, ID_SET_FONT, c.mnemonic));
    HWND dialog = WaitForOtherDialog(process, clock);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(clock, GetWindow(dialog, GW_OWNER));
    HWND faces = GetDlgItem(dialog, FACE_LIST);
    HWND sizes = GetDlgItem(dialog, SIZE_LIST);
    const std::string startSize =
        Decimal(MulDiv(DEFAULT_FONT_HEIGHT, 72, dpi));
    EXPECT_TRUE(WaitUntil([&] {
        return WindowText(faces) == "MS Sans Serif" &&
               WindowText(sizes) == startSize;
    })) << WindowText(faces) << " " << WindowText(sizes);
    TickProbe probe(clock);
    ASSERT_TRUE(probe.Installed());
    EXPECT_TRUE(probe.SeesTicks(2));

    if (c.face != nullptr) {
        ASSERT_TRUE(SelectInList(dialog, FACE_LIST, c.face));
    }
    if (c.typed) {
        ASSERT_TRUE(SetText(sizes, c.size));
    } else {
        ASSERT_TRUE(SelectInList(dialog, SIZE_LIST, c.size));
    }
    ASSERT_TRUE(CloseWith(dialog, WM_COMMAND, c.ok ? IDOK : IDCANCEL));
    ASSERT_TRUE(RoundTrip(clock));

    RECT after = WindowRect(clock);
    if (!c.ok) {
        EXPECT_TRUE(SameRect(before, after));
        EXPECT_TRUE(ClockShows(clock, desktop, WHITE, BLACK));
        EXPECT_TRUE(SameRect(textBefore, ColourBounds(after, WHITE)));
    } else {
        EXPECT_EQ(before.left, after.left);
        EXPECT_EQ(before.top, after.top);
        // The time is drawn in a taller font.
        EXPECT_TRUE(WaitUntil([&] {
            RECT text = ColourBounds(WindowRect(clock), WHITE);
            return text.bottom - text.top > textBefore.bottom - textBefore.top;
        }));
    }

    // The stored font is the one the window was sized for.
    Saved saved;
    SaveAndRead(&saved);
    const char* why = c.ok ? "" : "the cancelled choice reached the setting";
    EXPECT_TRUE(SameRect(after, saved.window));
    std::string face = c.ok && c.face != nullptr ? c.face : "MS Sans Serif";
    EXPECT_EQ(face, saved.font.lfFaceName) << why;
    LONG height = c.ok ? -MulDiv(std::stoi(c.size), dpi, 72)
                       : DEFAULT_FONT_HEIGHT;
    EXPECT_EQ(height, saved.font.lfHeight) << why;
    if (c.ok) {
        // A cancelled dialog keeps the window as it was, which for the
        // defaults is not the font's measure.
        SIZE extent = MeasureText(saved.font);
        EXPECT_EQ(extent.cx + TEXT_MARGIN, after.right - after.left);
        EXPECT_EQ(extent.cy + TEXT_MARGIN, after.bottom - after.top);
    }
}

const FontCase FONT_CASES[] = {
    {"ListedSizeByMenu", 'F', nullptr, "12", false, true},
    {"TypedSize", 0, nullptr, "20", true, true},
    {"OtherFaceAndSize", 0, "Tahoma", "20", false, true},
    {"Cancelled", 0, "Tahoma", "20", true, false},
};
INSTANTIATE_TEST_SUITE_P(Font, FontDialogTest,
                         ::testing::ValuesIn(FONT_CASES),
                         [](const ::testing::TestParamInfo<FontCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
