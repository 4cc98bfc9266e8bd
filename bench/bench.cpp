// Measures Velmora beside the baseline dialog program, built with the same
// toolchain, flags and entry point: start-up, idle CPU, memory, the cost of
// one tick, executable size and imports. Prints a table and writes it as
// Markdown.
// Usage: velmora_bench.exe [markdown file [the other width's build folder]]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../res/resource.h"
#include "../tests/e2e/driver.h"
#include "../tests/e2e/pe_image.h"
#include "baseline_resource.h"
#include "baseline_window.h"
#include "clock/clock_window.h"
#include "settings/settings.h"
#include "win/app_instance.h"

namespace {

constexpr int LAUNCHES = 20;
constexpr DWORD IDLE_MS = 60000;
constexpr DWORD MEMORY_AFTER_MS = 10000;
constexpr int TICKS = 100000;
constexpr double HOUR_PER_IDLE = 3600000.0 / IDLE_MS;
constexpr double KIB = 1024.0;
constexpr DWORD POLL_MS = 1;
constexpr DWORD START_TIMEOUT_MS = 10000;
constexpr UINT_PTR CLOCK_TIMER = 100;

// Targets: Velmora against the baseline.
constexpr double MAX_SIZE_KIB = 24;
constexpr double MAX_SIZE_64_KIB = 28;
constexpr double MAX_STARTUP_RATIO = 1.2;
constexpr double MAX_PRIVATE_EXTRA_KIB = 256;
constexpr double MAX_IDLE_RATIO = 1.5;
constexpr double MAX_TICK_RATIO = 1.5;

struct Program {
    const char* name;
    std::string path;
    int labelId;
};

std::string Beside(const char* name) {
    std::string path = VelmoraPath();
    return path.substr(0, path.find_last_of("\\/") + 1) + name;
}

double Now() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// "12:34 PM" and the like, as both programs show it once they run; not the
// clock template's "12:00 am".
bool LooksLikeTime(const std::string& text) {
    return text.size() == 8 && text[2] == ':' && text[7] == 'M';
}

struct WindowSearch {
    DWORD processId;
    int labelId;
    HWND found;
};

BOOL CALLBACK FindShowingWindow(HWND hwnd, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->processId && IsWindowVisible(hwnd) &&
        LooksLikeTime(WindowText(GetDlgItem(hwnd, search->labelId)))) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

double Milliseconds(const FILETIME& time) {
    ULARGE_INTEGER value = {{time.dwLowDateTime, time.dwHighDateTime}};
    return static_cast<double>(value.QuadPart) / 10000.0;
}

bool RunningUnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") !=
           nullptr;
}

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        char buffer[4096];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, count);
        }
        std::fclose(file);
    }
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// A path as Wine's Linux processes show it, or near enough to compare ends:
// lower case, forward slashes, no drive.
std::string ComparablePath(const std::string& path) {
    std::string text = Lower(path);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text.size() > 1 && text[1] == ':' ? text.substr(2) : text;
}

// The CPU time of the Linux process whose command line runs this program,
// summed over its threads, through Wine's Z: drive; 0 where there is none.
// The whole path is compared: on a shared machine other builds of the same
// program may be running from other folders.
double LinuxCpuMs(const std::string& programPath) {
    const std::string proc = "Z:\\proc\\";
    const std::string wanted = ComparablePath(programPath);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((proc + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    double total = 0;
    do {
        std::string pid = found.cFileName;
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string commandLine =
            ComparablePath(ReadText(proc + pid + "\\cmdline"));
        std::string program = commandLine.substr(0, commandLine.find('\0'));
        if (program.size() < wanted.size() ||
            program.compare(program.size() - wanted.size(), wanted.size(),
                            wanted) != 0) {
            continue;
        }
        WIN32_FIND_DATAA task;
        std::string tasks = proc + pid + "\\task\\";
        HANDLE taskSearch = FindFirstFileA((tasks + "*").c_str(), &task);
        if (taskSearch == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            if (task.cFileName[0] != '.') {
                // The first figure is the nanoseconds spent running.
                std::string schedstat = ReadText(tasks + task.cFileName +
                                                 "\\schedstat");
                total += std::strtod(schedstat.c_str(), nullptr) / 1e6;
            }
        } while (FindNextFileA(taskSearch, &task));
        FindClose(taskSearch);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

class Running {
public:
    Running(const Program& program, const std::string& directory)
        : path_(program.path) {
        std::string line = "\"" + program.path + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = Now();
        if (!CreateProcessA(program.path.c_str(), &line[0], nullptr, nullptr,
                            FALSE, 0, nullptr, directory.c_str(), &startup,
                            &info_)) {
            info_ = PROCESS_INFORMATION();
            return;
        }
        WindowSearch search = {info_.dwProcessId, program.labelId, nullptr};
        while (search.found == nullptr && Now() - started_ < START_TIMEOUT_MS) {
            EnumWindows(FindShowingWindow, reinterpret_cast<LPARAM>(&search));
            if (search.found == nullptr) {
                Sleep(POLL_MS);
            }
        }
        window_ = search.found;
        shownAfter_ = Now() - started_;
    }

    ~Running() {
        if (info_.hProcess == nullptr) {
            return;
        }
        PostMessageA(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(info_.hProcess, START_TIMEOUT_MS) !=
            WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 0);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    bool Shown() const { return window_ != nullptr; }
    double ShownAfterMs() const { return shownAfter_; }

    // Wine does not keep another process's times (GetProcessTimes answers
    // with figures that do not move), so under Wine the Linux process that
    // runs the program is asked instead.
    double CpuMs() const {
        if (RunningUnderWine()) {
            return LinuxCpuMs(path_);
        }
        FILETIME created, exited, kernel, user;
        GetProcessTimes(info_.hProcess, &created, &exited, &kernel, &user);
        return Milliseconds(kernel) + Milliseconds(user);
    }

    PROCESS_MEMORY_COUNTERS_EX Memory() const {
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(
            info_.hProcess,
            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
            sizeof counters);
        return counters;
    }

private:
    std::string path_;
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
    double started_ = 0;
    double shownAfter_ = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 != 0
               ? values[middle]
               : (values[middle - 1] + values[middle]) / 2;
}

struct Figures {
    double startupMs = 0;
    double idleCpuMsPerHour = 0;
    double privateKib = 0;
    double workingSetKib = 0;
    double tickUs = 0;
    double sizeKib = 0;
    double size64Kib = 0;
    std::string imports;
};

void MeasureStartups(const Program (&programs)[2], Figures (&figures)[2]) {
    std::vector<double> times[2];
    TempDirectory directory;
    for (int launch = 0; launch < LAUNCHES; ++launch) {
        for (int i = 0; i < 2; ++i) {
            Running running(programs[i], directory.Path());
            if (running.Shown()) {
                times[i].push_back(running.ShownAfterMs());
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        figures[i].startupMs = times[i].empty() ? 0 : Median(times[i]);
    }
}

void MeasureIdle(const Program (&programs)[2], Figures (&figures)[2]) {
    TempDirectory directories[2];
    Running first(programs[0], directories[0].Path());
    Running second(programs[1], directories[1].Path());
    const Running* running[2] = {&first, &second};
    double cpuAtStart[2] = {first.CpuMs(), second.CpuMs()};
    Sleep(MEMORY_AFTER_MS);
    for (int i = 0; i < 2; ++i) {
        PROCESS_MEMORY_COUNTERS_EX memory = running[i]->Memory();
        // Wine leaves PrivateUsage empty for another process; PagefileUsage,
        // the same commit charge on Windows, is its anonymous memory there.
        SIZE_T privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage
                                                       : memory.PagefileUsage;
        figures[i].privateKib = static_cast<double>(privateBytes) / KIB;
        figures[i].workingSetKib =
            static_cast<double>(memory.WorkingSetSize) / KIB;
    }
    Sleep(IDLE_MS - MEMORY_AFTER_MS);
    for (int i = 0; i < 2; ++i) {
        figures[i].idleCpuMsPerHour =
            (running[i]->CpuMs() - cpuAtStart[i]) * HOUR_PER_IDLE;
    }
}

void PumpAll() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

// One tick of each window, in this process: the timer message and the
// repaint it causes.
double MicrosecondsPerTick(HWND window) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    PumpAll();
    double start = Now();
    for (int i = 0; i < TICKS; ++i) {
        SendMessageA(window, WM_TIMER, CLOCK_TIMER, 0);
        PumpAll();
    }
    double elapsed = Now() - start;
    SendMessageA(window, WM_CLOSE, 0, 0);
    DestroyWindow(window);
    return elapsed * 1000.0 / TICKS;
}

void MeasureTicks(Figures (&figures)[2]) {
    hAppInstance = GetModuleHandleA(nullptr);
    ApplyDefaultSettings(&clockSettings, GetSysColor(COLOR_BACKGROUND));
    figures[0].tickUs = MicrosecondsPerTick(CreateDialogParamA(
        hAppInstance, MAKEINTRESOURCEA(IDD_CLOCK), nullptr, ClockWindow, 0));
    figures[1].tickUs = MicrosecondsPerTick(
        CreateDialogParamA(hAppInstance, MAKEINTRESOURCEA(IDD_BASELINE),
                           nullptr, BaselineWindow, 0));
}

constexpr bool IS_64_BIT = sizeof(void*) == 8;

// The other width's files are only measured: they do not run in this
// process's Wine.
void MeasureFiles(const Program (&programs)[2], const std::string& otherFolder,
                  Figures (&figures)[2]) {
    const char* const otherNames[2] = {"Velmora.exe", "velmora_baseline.exe"};
    for (int i = 0; i < 2; ++i) {
        Figures& mine = figures[i];
        double& ownSize = IS_64_BIT ? mine.size64Kib : mine.sizeKib;
        double& otherSize = IS_64_BIT ? mine.sizeKib : mine.size64Kib;
        if (!otherFolder.empty()) {
            const std::string other = otherFolder + "\\" + otherNames[i];
            otherSize = ReadPeSummary(other).fileSize / KIB;
        }
        PeSummary image = ReadPeSummary(programs[i].path);
        ownSize = image.fileSize / KIB;
        for (const std::string& name : image.imports) {
            mine.imports += (mine.imports.empty() ? "" : ", ") + name;
        }
    }
}

std::string Row(const char* figure, const char* unit, double velmora,
                double baseline, bool ratio, bool met, const char* target) {
    char row[512];
    char comparison[64];
    if (ratio) {
        std::snprintf(comparison, sizeof comparison, "%.2fx",
                      baseline > 0 ? velmora / baseline : 0.0);
    } else {
        std::snprintf(comparison, sizeof comparison, "%+.1f %s",
                      velmora - baseline, unit);
    }
    std::snprintf(row, sizeof row, "| %s | %.1f %s | %.1f %s | %s | %s | %s |\n",
                  figure, velmora, unit, baseline, unit, comparison, target,
                  met ? "yes" : "**no**");
    return row;
}

std::string Table(const Figures& v, const Figures& b) {
    std::string table =
        "| Figure | Velmora | Baseline | Velmora vs baseline | Target | Met |\n"
        "|---|---|---|---|---|---|\n";
    table += Row("Executable size, 32-bit", "KiB", v.sizeKib, b.sizeKib,
                 false, v.sizeKib > 0 && v.sizeKib <= MAX_SIZE_KIB,
                 "at most 24 KiB");
    table += Row("Executable size, 64-bit", "KiB", v.size64Kib, b.size64Kib,
                 false, v.size64Kib > 0 && v.size64Kib <= MAX_SIZE_64_KIB,
                 "at most 28 KiB");
    table += Row("Start-up to the time shown (median of 20)", "ms",
                 v.startupMs, b.startupMs, true,
                 v.startupMs <= b.startupMs * MAX_STARTUP_RATIO,
                 "at most 1.2x");
    table += Row("Idle CPU", "ms/h", v.idleCpuMsPerHour, b.idleCpuMsPerHour,
                 true,
                 v.idleCpuMsPerHour <= b.idleCpuMsPerHour * MAX_IDLE_RATIO,
                 "at most 1.5x");
    table += Row("Private bytes after 10 s", "KiB", v.privateKib, b.privateKib,
                 false, v.privateKib - b.privateKib <= MAX_PRIVATE_EXTRA_KIB,
                 "at most 256 KiB above");
    table += Row("Working set after 10 s", "KiB", v.workingSetKib,
                 b.workingSetKib, false, true, "(shown)");
    table += Row("One tick, in-process (100,000 ticks)", "us", v.tickUs,
                 b.tickUs, true, v.tickUs <= b.tickUs * MAX_TICK_RATIO,
                 "at most 1.5x");
    table += "| Imported DLLs | " + v.imports + " | " + b.imports +
             " | | system DLLs only | " +
             (v.imports.find("lib") == std::string::npos ? "yes" : "**no**") +
             " |\n";
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    const Program programs[2] = {
        {"Velmora", VelmoraPath(), IDC_TIME},
        {"Baseline", Beside("velmora_baseline.exe"), IDC_BASELINE_TEXT},
    };
    Figures figures[2];
    std::printf("measuring start-up (%d launches each)...\n", LAUNCHES);
    MeasureStartups(programs, figures);
    std::printf("measuring idle CPU and memory (%lu s)...\n", IDLE_MS / 1000);
    MeasureIdle(programs, figures);
    std::printf("measuring the tick (%d ticks each)...\n", TICKS);
    MeasureTicks(figures);
    MeasureFiles(programs, argc > 2 ? argv[2] : "", figures);

    std::string table = Table(figures[0], figures[1]);
    std::printf("\n%s", table.c_str());
    if (argc > 1) {
        FILE* out = std::fopen(argv[1], "wb");
        if (out == nullptr) {
            return 1;
        }
        std::fprintf(out,
                     "# Velmora beside a minimal dialog program\n\n"
                     "Measured by `scripts/bench.sh` under Wine, running the "
                     "%d-bit builds: the baseline is one dialog with one "
                     "static label whose text a one-second timer sets "
                     "(written by USER32's wsprintfA), "
                     "built with the same toolchain, flags and entry point. "
                     "Under Wine, "
                     "CPU time comes from the Linux "
                     "process that runs each program (Wine does not report "
                     "another process's times) and private bytes from "
                     "PagefileUsage (Wine leaves PrivateUsage empty).\n\n%s",
                     IS_64_BIT ? 64 : 32, table.c_str());
        std::fclose(out);
    }
    return 0;
}
