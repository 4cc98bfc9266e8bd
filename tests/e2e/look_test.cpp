// The look commands as a user meets them: the colour grabber, the standard
// colour and font dialogs, and the clock showing what they chose at once.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "clock_test.h"
#include "tick_probe.h"

bool LoadsModule(HANDLE process, const char* name);  // about_test.cpp

namespace {

constexpr char GRABBER_TITLE[] = "Grab Color";
constexpr char MEASURE_TEXT[] = "88:88 MM";
constexpr int TEXT_MARGIN = 2;
constexpr int DIALOG_GAP = 20;  // pixels between the clock and a moved dialog
constexpr DWORD GRAB_PERIOD_MS = 100;  // the grabber's sampling period
// Ample for a sample on a loaded machine: the wait ends once it shows.
constexpr DWORD SAMPLE_WAIT_MS = 50 * GRAB_PERIOD_MS;
constexpr int SAMPLE_SIZE = 200;
// Around the grabbed pixel, so that a neighbour's colour is another.
constexpr COLORREF SAMPLE_GROUND = RGB(0, 128, 128);
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
// The dialog records' flags as the commands must give them:
// CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST, and
// CC_RGBINIT | CC_FULLOPEN.
constexpr DWORD FONT_DIALOG_FLAGS = 0x10041;
constexpr DWORD COLOUR_DIALOG_FLAGS = 3;

// Where the samples are put: the middle of the screen, clear of the clock
// and its dialogs in the top-left corner.
RECT SampleRect() {
    POINT middle = Middle(WindowRect(GetDesktopWindow()));
    RECT rect = {middle.x - SAMPLE_SIZE / 2, middle.y - SAMPLE_SIZE / 2,
                 middle.x + SAMPLE_SIZE / 2, middle.y + SAMPLE_SIZE / 2};
    return rect;
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
            // A swatch with a text would show it over the colour.
            return GrabberLabels(grabber) == labels &&
                   SwatchPixel(grabber) == colour &&
                   WindowText(GetDlgItem(grabber, IDC_SWATCH)).empty();
        }, SAMPLE_WAIT_MS)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "labels " << GrabberLabels(grabber) << ", swatch "
           << Rgb(SwatchPixel(grabber)) << " with text \""
           << WindowText(GetDlgItem(grabber, IDC_SWATCH)) << "\"; expected "
           << labels << ", swatch " << Rgb(colour) << " without";
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

// The saved font; "+" stands for a blank in the file's face name.
SIZE MeasureText(const ConfigValues& saved) {
    LOGFONTA font = {};
    font.lfHeight = saved.height;
    font.lfWidth = saved.width;
    font.lfEscapement = saved.escapement;
    font.lfOrientation = saved.orientation;
    font.lfWeight = saved.weight;
    font.lfItalic = static_cast<BYTE>(saved.italic);
    font.lfUnderline = static_cast<BYTE>(saved.underline);
    font.lfStrikeOut = static_cast<BYTE>(saved.strikeOut);
    font.lfCharSet = static_cast<BYTE>(saved.charSet);
    font.lfOutPrecision = static_cast<BYTE>(saved.outPrecision);
    font.lfClipPrecision = static_cast<BYTE>(saved.clipPrecision);
    font.lfQuality = static_cast<BYTE>(saved.quality);
    font.lfPitchAndFamily = static_cast<BYTE>(saved.pitchAndFamily);
    std::string face = saved.face;
    for (char& c : face) {
        c = c == '+' ? ' ' : c;
    }
    lstrcpynA(font.lfFaceName, face.c_str(), LF_FACESIZE);
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

// Windows reads these where Wine may not: a lookup misspelt or a record
// with a stray field or flag passes under Wine and fails on Windows.
void ExpectLookedUp(const CallRecord& calls, const char* name) {
    for (LONG i = 0; i < calls.lookups && i < RECORDED_LOOKUPS; ++i) {
        if (std::string(calls.lookup[i].name) == name) {
            EXPECT_NE(0, calls.lookup[i].found) << name << " not found";
            return;
        }
    }
    ADD_FAILURE() << name << " was never looked up";
}

// The dialogs' themed scope, ended once their command is done: created from
// the program's second manifest, activated, deactivated with the cookie it
// gave and no flags (Windows refuses any but one), and released.
void ExpectThemedScopeEnded(const CallRecord& calls) {
    const ACTCTXA& context = calls.context;
    ExpectFields(
        {{"contexts created", 1, calls.contextsCreated},
         {"cbSize", sizeof context, context.cbSize},
         {"dwFlags", ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID,
          context.dwFlags},
         {"lpSource", 0, Address(context.lpSource)},
         {"wProcessorArchitecture", 0, context.wProcessorArchitecture},
         {"wLangId", 0, context.wLangId},
         {"lpAssemblyDirectory", 0, Address(context.lpAssemblyDirectory)},
         {"lpResourceName", Address(ISOLATIONAWARE_MANIFEST_RESOURCE_ID),
          Address(context.lpResourceName)},
         {"lpApplicationName", 0, Address(context.lpApplicationName)},
         {"hModule", Address(calls.program), Address(context.hModule)},
         {"activations", 1, calls.activations},
         {"context activated", Address(calls.createdContext),
          Address(calls.activatedContext)},
         {"deactivations", 1, calls.deactivations},
         {"deactivation flags", 0, calls.deactivationFlags},
         {"cookie deactivated", static_cast<long long>(calls.activationCookie),
          static_cast<long long>(calls.deactivatedCookie)},
         {"deactivations refused", 0, calls.deactivationsRefused},
         {"contexts released", 1, calls.contextsReleased}});
}

class LookTest : public ClockTest {
protected:
    void SetUp() override {
        MovePointer(neutral.x, neutral.y);
        ASSERT_NE(nullptr, StartClock());
        probe.reset(new TickProbe(clock));
        ASSERT_TRUE(probe->Installed());
        ASSERT_TRUE(probe->ClearCalls());
    }

    // Once the command that opened a dialog is over.
    void ExpectCommandEnded() {
        EXPECT_TRUE(WaitUntil([&] { return probe->Calls().contextsReleased > 0; }));
        ExpectThemedScopeEnded(probe->Calls());
        // Loaded for the dialog alone, or it stays for the rest of the run.
        EXPECT_FALSE(LoadsModule(process->Handle(), "comdlg32.dll"));
    }

    // Saves through the command and reads the file back.
    void SaveAndRead(ConfigValues* saved) {
        ASSERT_EQ(SAVED_TEXT, SaveAndAnswer(process->Id(), clock));
        std::string bytes;
        ASSERT_TRUE(directory.ReadFile(CONFIG, &bytes));
        ASSERT_TRUE(ParseConfig(bytes, saved)) << bytes;
    }

    // What a save stores tells the settings from what happens to be shown.
    void ExpectSavedColours(COLORREF background, COLORREF text) {
        ConfigValues saved;
        SaveAndRead(&saved);
        EXPECT_EQ(Rgb(background), Rgb(saved.background));
        EXPECT_EQ(Rgb(text), Rgb(saved.text));
    }

    // From here on the clock's ticks are held, so what it shows once the
    // dialog is answered, the command drew at once. The dialog is moved off
    // the clock first: uncovering it would repaint it.
    void HoldTicksClearOf(HWND dialog) {
        RECT clockRect = WindowRect(clock);
        const int x = clockRect.right + DIALOG_GAP;
        const int y = clockRect.bottom + DIALOG_GAP;
        SetWindowPos(dialog, nullptr, x, y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitUntil([&] {
            RECT rect = WindowRect(dialog);
            return rect.left == x && rect.top == y;
        }));
        // Repainted where the dialog was, in the defaults every test here
        // starts from, before anything changes.
        ASSERT_TRUE(ClockShows(clock, desktop, WHITE, BLACK));
        probe->HoldTicks(true);
    }

    std::unique_ptr<TickProbe> probe;
    const POINT neutral = NeutralPoint();
    const RECT sampleRect = SampleRect();
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
    // The colour is one pixel, right under where the pointer goes.
    POINT inside = Middle(sampleRect);
    ColouredWindow ground(sampleRect, SAMPLE_GROUND, true);
    ColouredWindow dot({inside.x, inside.y, inside.x + 1, inside.y + 1},
                       c.colour, true);
    ASSERT_TRUE(ClockShows(clock, desktop, WHITE, c.colour));

    ASSERT_TRUE(RunCommand(clock, c.command, c.mnemonic));
    HWND grabber = WaitForDialog(process->Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    EXPECT_EQ(clock, GetWindow(grabber, GW_OWNER));
    EXPECT_TRUE(IsTopmost(grabber));
    EXPECT_EQ(0, GetWindowLongA(grabber, GWL_STYLE) & WS_SYSMENU);
    RECT overlap;
    RECT grabberRect = WindowRect(grabber);
    ASSERT_FALSE(IntersectRect(&overlap, &grabberRect, &sampleRect));

    MovePointer(inside.x, inside.y);
    EXPECT_TRUE(GrabberShows(grabber, c.colour, Rgb(c.colour)));
    EXPECT_TRUE(probe->SeesTicks(2));
    ExpectLookedUp(probe->Calls(), "GetPhysicalCursorPos");
    const CallRecord& calls = probe->Calls();
    EXPECT_NE(0, calls.physicalPointerReads);
    ExpectFields({{"timers set", 1, calls.timersSet},
                  {"sampling period", GRAB_PERIOD_MS, calls.timerPeriod}});

    HoldTicksClearOf(grabber);
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
    MovePointer(neutral.x, neutral.y);
    COLORREF expectedBackground = stored && background ? c.colour : desktop;
    COLORREF expectedText = stored && !background ? c.colour : WHITE;
    EXPECT_TRUE(ClockShows(clock, expectedBackground, expectedText,
                           stored ? (background ? desktop : WHITE)
                                  : c.colour));
    ExpectCommandEnded();
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
    ColouredWindow sample(sampleRect, colour, true);
    MovePointer(neutral.x, neutral.y);
    ASSERT_EQ(BLACK, ScreenPixel(neutral.x, neutral.y));

    PostMessageA(clock, WM_COMMAND, ID_GRAB_BACKGROUND_COLOR, 0);
    HWND grabber = WaitForDialog(process->Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    // Three clock ticks are some thirty grabber samples.
    ASSERT_TRUE(probe->SeesTicks(3));
    EXPECT_EQ(unchanged, GrabberLabels(grabber));
    EXPECT_EQ(WHITE, SwatchPixel(grabber));
    POINT inside = Middle(sampleRect);
    MovePointer(inside.x, inside.y);
    EXPECT_TRUE(GrabberShows(grabber, colour, Rgb(colour)));
    ASSERT_TRUE(CloseWith(grabber, WM_COMMAND, IDCANCEL));

    // Reopened over the same colour, for the other setting.
    PostMessageA(clock, WM_COMMAND, ID_GRAB_FONT_COLOR, 0);
    grabber = WaitForDialog(process->Id(), GRABBER_TITLE);
    ASSERT_NE(nullptr, grabber);
    ASSERT_TRUE(probe->SeesTicks(3));
    EXPECT_EQ(unchanged, GrabberLabels(grabber));
    EXPECT_EQ(WHITE, SwatchPixel(grabber));
    MovePointer(neutral.x, neutral.y);
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
        LONG left = sampleRect.left + static_cast<LONG>(i) * 60;
        windows.emplace_back(new ColouredWindow(
            {left, sampleRect.top, left + 50, sampleRect.top + 50},
            colours[i], true));
    }
    PostMessageA(clock, WM_COMMAND, ID_GRAB_FONT_COLOR, 0);
    HWND grabber = WaitForDialog(process->Id(), GRABBER_TITLE);
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
        HWND dialog = WaitForOtherDialog(*process, clock);
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
        ExpectGiven(c, current);
        return dialog;
    }

    // The record as the dialog got it, and the custom colours: the system
    // colour of what is edited, then the current colour, then white.
    void ExpectGiven(const ColourCase& c, COLORREF current) {
        const CallRecord& calls = probe->Calls();
        const CHOOSECOLORA& record = calls.colourDialog;
        ExpectLookedUp(calls, "ChooseColorA");
        ExpectFields({{"colour dialogs", 1, calls.colourDialogs},
                      {"lStructSize", sizeof record, record.lStructSize},
                      {"hwndOwner", Address(clock), Address(record.hwndOwner)},
                      {"hInstance", 0, Address(record.hInstance)},
                      {"rgbResult", current, record.rgbResult},
                      {"Flags", COLOUR_DIALOG_FLAGS, record.Flags},
                      {"lCustData", 0, record.lCustData},
                      {"lpfnHook", 0, Address(record.lpfnHook)},
                      {"lpTemplateName", 0, Address(record.lpTemplateName)}});
        EXPECT_NE(nullptr, record.lpCustColors);
        COLORREF system = GetSysColor(c.command == ID_SET_BACKGROUND_COLOR
                                          ? COLOR_BACKGROUND
                                          : COLOR_WINDOWTEXT);
        for (int i = 0; i < CUSTOM_COLOUR_COUNT; ++i) {
            COLORREF expected = i == 0 ? system : i == 1 ? current : WHITE;
            EXPECT_EQ(Rgb(expected), Rgb(calls.customColours[i]))
                << "custom colour " << i;
        }
    }
};

TEST_P(ColourDialogTest, StartsAtCurrentColourAndOkAppliesAtOnce) {
    const ColourCase& c = GetParam();
    bool background = c.command == ID_SET_BACKGROUND_COLOR;
    COLORREF current = background ? desktop : WHITE;
    HWND dialog = OpenAt(c, c.mnemonic, current);
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(probe->SeesTicks(2));

    const int edits[] = {RED_EDIT, GREEN_EDIT, BLUE_EDIT};
    const int values[] = {GetRValue(c.chosen), GetGValue(c.chosen),
                          GetBValue(c.chosen)};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SetText(GetDlgItem(dialog, edits[i]), Decimal(values[i])));
    }
    ASSERT_EQ(Rgb(c.chosen), Rgb(dialog, RED_EDIT, GREEN_EDIT, BLUE_EDIT));
    HoldTicksClearOf(dialog);
    ASSERT_TRUE(CloseWith(dialog, WM_COMMAND, c.ok ? IDOK : IDCANCEL));
    ExpectCommandEnded();

    COLORREF expectedBackground = c.ok && background ? c.chosen : desktop;
    COLORREF expectedText = c.ok && !background ? c.chosen : WHITE;
    EXPECT_TRUE(ClockShows(clock, expectedBackground, expectedText,
                           c.ok ? current : c.chosen));
    EXPECT_NE(0, probe->Calls().backgroundColoursSet);
    EXPECT_EQ(Rgb(expectedBackground), Rgb(probe->Calls().backgroundColour))
        << "the colour behind the text";
    ExpectSavedColours(expectedBackground, expectedText);
    if (!c.ok) {
        return;
    }
    // The next opening starts from the colour now in use.
    ASSERT_TRUE(probe->ClearCalls());
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
                       public ::testing::WithParamInterface<FontCase> {
protected:
    // The record as the dialog got it: the settings' font, the flags, and
    // zero in every field the command does not fill.
    void ExpectFontDialogGiven() {
        const CallRecord& calls = probe->Calls();
        const CHOOSEFONTA& record = calls.fontDialog;
        ExpectLookedUp(calls, "ChooseFontA");
        ExpectFields({{"font dialogs", 1, calls.fontDialogs},
                      {"lStructSize", sizeof record, record.lStructSize},
                      {"hwndOwner", Address(clock), Address(record.hwndOwner)},
                      {"hDC", 0, Address(record.hDC)},
                      {"iPointSize", 0, record.iPointSize},
                      {"Flags", FONT_DIALOG_FLAGS, record.Flags},
                      {"rgbColors", 0, record.rgbColors},
                      {"lCustData", 0, record.lCustData},
                      {"lpfnHook", 0, Address(record.lpfnHook)},
                      {"lpTemplateName", 0, Address(record.lpTemplateName)},
                      {"hInstance", 0, Address(record.hInstance)},
                      {"lpszStyle", 0, Address(record.lpszStyle)},
                      {"nFontType", 0, record.nFontType},
                      {"nSizeMin", 0, record.nSizeMin},
                      {"nSizeMax", 0, record.nSizeMax},
                      {"font height", DEFAULT_FONT_HEIGHT,
                       calls.fontDialogFont.lfHeight}});
        EXPECT_NE(nullptr, record.lpLogFont);
        EXPECT_STREQ("MS Sans Serif", calls.fontDialogFont.lfFaceName);
    }
};

TEST_P(FontDialogTest, ResizesToTheTimeInTheNewFontFromTheSameCorner) {
    const FontCase& c = GetParam();
    const int dpi = ScreenDpi();
    // Away from the corner, so a kept corner is not just snapping.
    ASSERT_TRUE(MoveClock(clock, 300, 200));
    RECT before = WindowRect(clock);
    ASSERT_TRUE(ClockShows(clock, desktop, WHITE, BLACK));
    RECT textBefore = ColourBounds(before, WHITE);

    ASSERT_TRUE(RunCommand(clock, ID_SET_FONT, c.mnemonic));
    HWND dialog = WaitForOtherDialog(*process, clock);
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
    EXPECT_TRUE(probe->SeesTicks(2));
    ExpectFontDialogGiven();

    if (c.face != nullptr) {
        ASSERT_TRUE(SelectInList(dialog, FACE_LIST, c.face));
    }
    if (c.typed) {
        ASSERT_TRUE(SetText(sizes, c.size));
    } else {
        ASSERT_TRUE(SelectInList(dialog, SIZE_LIST, c.size));
    }
    HoldTicksClearOf(dialog);
    ASSERT_TRUE(CloseWith(dialog, WM_COMMAND, c.ok ? IDOK : IDCANCEL));
    ASSERT_TRUE(RoundTrip(clock));
    ExpectCommandEnded();
    // Resized in place: no move, and no change to the z-order.
    ExpectFields({{"position changes", c.ok ? 1 : 0, probe->Calls().positionChanges},
                  {"position flags", c.ok ? SWP_NOMOVE | SWP_NOZORDER : 0,
                   probe->Calls().positionFlags}});

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
    ConfigValues saved;
    SaveAndRead(&saved);
    const char* why = c.ok ? "" : "the cancelled choice reached the setting";
    EXPECT_TRUE(SameRect(after, saved.window));
    std::string face = c.ok && c.face != nullptr ? c.face : "MS+Sans+Serif";
    EXPECT_EQ(face, saved.face) << why;
    LONG height = c.ok ? -MulDiv(std::stoi(c.size), dpi, 72)
                       : DEFAULT_FONT_HEIGHT;
    EXPECT_EQ(height, saved.height) << why;
    if (c.ok) {
        // A cancelled dialog keeps the window as it was, which for the
        // defaults is not the font's measure.
        SIZE extent = MeasureText(saved);
        EXPECT_EQ(extent.cx + TEXT_MARGIN, after.right - after.left);
        EXPECT_EQ(extent.cy + TEXT_MARGIN, after.bottom - after.top);
        // A label narrower or shorter than the window cuts the time.
        EXPECT_TRUE(SameRect(after, WindowRect(GetDlgItem(clock, IDC_TIME))));
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
