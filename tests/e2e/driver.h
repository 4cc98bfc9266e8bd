// Helpers of the end-to-end tests: start Velmora.exe in a fresh directory,
// find its windows, read their state and wait on conditions with timeouts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Longer than anything a test waits for takes on a loaded machine: the first
// clock of a 32-bit run, started under i386 emulation with both cores busy,
// has taken over 10 s to show. A wait ends as soon as its condition holds.
// VELMORA_E2E_WAIT_MS sets another: the mutation runner's 64-bit runs, where
// a planted fault mostly fails a test by making it wait, take a shorter one.
extern const DWORD WAIT_TIMEOUT_MS;
// The clock's timer period.
constexpr DWORD CLOCK_TICK_MS = 1000;

// What the program fixes, shared by every test.
constexpr char CONFIG[] = "Velmora.cfg";
constexpr char MESSAGE_TITLE[] = "Velmora";
constexpr char SAVED_TEXT[] = "Successfully saved configuration.";
constexpr char SAVE_FAILED_TEXT[] = "Could not save configuration.";
constexpr DWORD EXPECTED_EXIT_CODE = 1;
constexpr int DEFAULT_WIDTH = 65;
constexpr int DEFAULT_HEIGHT = 18;

// Polls the condition until it holds or the time is up; true if it held.
bool WaitUntil(const std::function<bool()>& condition,
               DWORD timeoutMs = WAIT_TIMEOUT_MS);

// Handles the driver's own window messages while a test waits.
void PumpMessages();

// A plain window of the driver's own, filled with one colour. Besides giving
// the grabber a known colour, it stands between the clock and its owner in
// the z-order as other programs' windows do on a real desktop.
class ColouredWindow {
public:
    ColouredWindow(const RECT& rect, COLORREF color, bool topmost = false);
    ~ColouredWindow();
    ColouredWindow(const ColouredWindow&) = delete;
    ColouredWindow& operator=(const ColouredWindow&) = delete;

    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_;
    HBRUSH brush_;
};

// The path of Velmora.exe, which is built beside this driver.
std::string VelmoraPath();

// An ANSI text in UTF-16, as the system's A functions convert it.
std::wstring Widen(const std::string& text);

// A whole file's bytes; false if it cannot be opened.
bool ReadWholeFile(const std::wstring& path, std::string* bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
// Truncates the file in place (or creates it) and writes these bytes.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// A new empty directory that is removed, with its files, when this goes. Its
// name may end in characters that the ANSI code page lacks: Path() and File()
// then hold "?" in their place, and only WidePath() names the directory. The
// other members work either way.
class TempDirectory {
public:
    explicit TempDirectory(const std::wstring& nameEnd = std::wstring());
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path_; }
    const std::wstring& WidePath() const { return widePath_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }
    void WriteFile(const char* name, const std::string& bytes) const;
    bool ReadFile(const char* name, std::string* bytes) const;
    std::vector<std::string> FileNames() const;

private:
    std::wstring WideFile(const std::string& name) const {
        return widePath_ + L"\\" + Widen(name);
    }

    std::wstring widePath_;
    std::string path_;
};

struct LaunchOptions {
    std::string arguments;     // after the program name
    WORD showCommand = SW_SHOWNORMAL;
    std::string executable;    // defaults to VelmoraPath()
    const char* timeZone = nullptr;  // TZ for the clock alone
};

// One running Velmora.exe. Ended (WM_CLOSE, then by force) when this goes.
class ClockProcess {
public:
    explicit ClockProcess(const std::string& workingDirectory,
                          const LaunchOptions& options = LaunchOptions());
    explicit ClockProcess(const std::wstring& workingDirectory,
                          const LaunchOptions& options = LaunchOptions());
    ~ClockProcess();
    ClockProcess(const ClockProcess&) = delete;
    ClockProcess& operator=(const ClockProcess&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    bool Started() const { return info_.hProcess != nullptr; }

    // The visible clock window, waiting until it shows its time.
    HWND Clock();

    // Top-level windows of this process, visible or not.
    std::vector<HWND> TopLevelWindows() const;

    bool IsRunning() const;
    // Waits for the end; returns the exit code, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(DWORD timeoutMs = WAIT_TIMEOUT_MS);

private:
    PROCESS_INFORMATION info_ = {};
    HWND clock_ = nullptr;
};

// Another process's window text, read without risking a hang.
std::string WindowText(HWND hwnd);

// The top-level window of a process with this class and title, if visible.
HWND FindProcessWindow(DWORD processId, const char* className,
                       const char* title);

COLORREF ScreenPixel(int x, int y);

// Saves this part of the screen as a 24-bit BMP file.
bool SaveScreenshot(const RECT& area, const std::string& path);
RECT WindowRect(HWND hwnd);
bool SameRect(const RECT& a, const RECT& b);
POINT Middle(const RECT& rect);
// A sent message is handled between the window's other messages, so its
// return means that what its thread was doing has finished.
bool RoundTrip(HWND hwnd);
RECT WorkArea();
// Bare screen (the black X root) near its bottom-right corner, off the
// clock and every window and menu the tests open, whatever the screen's size.
POINT NeutralPoint();
bool IsTopmost(HWND hwnd);

// Counts the pixels of this colour inside the rectangle of the screen.
int CountPixels(const RECT& area, COLORREF color);

// The clock text that local time gives now, as the clock formats it.
std::string ExpectedClockText(const SYSTEMTIME& time);

// Real input, as a user's mouse and keyboard give it.
void MovePointer(int x, int y);
void PressButton(DWORD downFlag);    // MOUSEEVENTF_LEFTDOWN or RIGHTDOWN
void ReleaseButton(DWORD upFlag);    // MOUSEEVENTF_LEFTUP or RIGHTUP
void ClickAt(int x, int y, bool right = false);
void PressKey(WORD virtualKey);
// True while the window's thread runs the system's move loop.
bool InMoveLoop(HWND hwnd);
// Presses the left button here and waits for the window's move loop to
// start: moves sent before it starts would not count as part of the drag.
bool StartDrag(HWND hwnd, POINT from);
// During a drag, moves the pointer and waits for the window to arrive. Under
// Wine a stale pointer event can land after the last one and put the pointer
// back a step, so the move is repeated (by way of a neighbouring pixel) until
// the window is where it should be.
bool MoveDuringDrag(HWND hwnd, POINT to, POINT expectedTopLeft);

// Drags a window with the left button from one screen point to another,
// releasing once the window has reached where it is expected to end (the
// system's loop may not yet have seen the last move when the button goes up).
void Drag(HWND hwnd, POINT from, POINT to, POINT expectedTopLeft);

// The visible popup menu window (class "#32768"), if one is open.
HWND FindPopupMenu();

// A visible dialog of the process with this title, waiting for it.
HWND WaitForDialog(DWORD processId, const char* title);

// Posted, since a sent command can block on another process's dialog;
// true once the dialog is gone.
bool CloseWith(HWND dialog, UINT message, WPARAM wParam);

// Opens the clock's menu with a right click here, the pointer parked away
// from it once open: resting over it would preselect the item under it.
HWND OpenMenu(POINT at);
// Chooses an entry of the clock's menu by its mnemonic.
bool ChooseFromMenu(HWND clock, WORD mnemonic);

// Moves the clock as another program would and waits until it is there.
bool MoveClock(HWND clock, int x, int y);

// Posts Save to the clock and returns the text of the message box it shows
// ("(no message box)" if none came), closing the box. What the test does
// while the save runs comes in between.
std::string SaveAndAnswer(DWORD processId, HWND clock,
                          const std::function<void()>& duringSave = nullptr);

// The text of a message box (its static control 65535).
std::string MessageBoxText(HWND box);

// How many pixels of an icon control show this system icon.
int IconPixelsMatching(HWND iconControl, LPCSTR systemIcon);

// The message box's icon control, if it has one.
HWND FindIconControl(HWND dialog);

// "Velmora.cfg" bytes for a settings record, in the file's own layout.
struct ConfigValues {
    int charSet = 1, clipPrecision = 1, escapement = 0;
    std::string face = "MS+Sans+Serif";
    int height = 12, italic = 0, orientation = 0;
    int outPrecision = 2, pitchAndFamily = 0, quality = 0;
    int strikeOut = 0, underline = 0, weight = 400;
    int width = 0;
    COLORREF background = 0, text = 0xFFFFFF;
    int onTop = 1;
    RECT window = {0, 0, DEFAULT_WIDTH, DEFAULT_HEIGHT};
};
std::string ConfigText(const ConfigValues& values);
// The values of a file in that layout; false unless all 21 are there.
bool ParseConfig(const std::string& bytes, ConfigValues* values);
// What a save of a clock with the default settings stores.
ConfigValues DefaultsAt(HWND clock);

// The bounding box of the pixels of this colour inside the rectangle of the
// screen; empty when there are none.
RECT ColourBounds(const RECT& area, COLORREF colour);
