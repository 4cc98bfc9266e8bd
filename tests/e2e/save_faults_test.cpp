// Saving when things go wrong: a read-only or locked file in the way, one
// held for a moment, a temporary file left by a crash, a folder name the ANSI
// code page cannot spell, a write or a replace that fails half way.
#include <string>

#include "clock_test.h"
#include "import_patch.h"
#include "settings/config_file_os.h"
#include "settings/replace_file_win32.h"

namespace {

constexpr char TEMP[] = "Velmora.cfg.new";
// The save tries the replace again after 32, 64, ... 512 ms
// (config_file_win32.cpp), so a file held for a moment is let go within
// this, as a virus scanner or a sync client lets go of a file just written.
constexpr DWORD RETRY_BUDGET_MS = 32 + 64 + 128 + 256 + 512;
// Counted from the save's first try: long enough for that try to fail,
// short enough that a driver stalled on a loaded machine still lets go well
// inside the budget.
constexpr DWORD MOMENTARY_HOLD_MS = RETRY_BUDGET_MS / 8;
constexpr DWORD LAST_RETRY_WAIT_MS = 512;
// GetTickCount moves in steps of the system timer, about 16 ms.
constexpr DWORD TICK_STEP_MS = 16;

// What became of the old file when the replace failed.
enum class OldFile { Stays, Deleted, Renamed };
constexpr char RENAMED_END[] = ".old";

// How the program's replace fails, in this process, in place of the real
// one: `times` times as ReplaceFile can, then the real replace.
struct ReplaceFailure {
    DWORD error;
    OldFile oldFile;
    int times;
};
ReplaceFailure injectedFailure = {};
int replaceCalls = 0;
DWORD replaceFlags = 0;
int flushes = 0;
int flushesBeforeReplace = 0;

using FlushFunction = BOOL(WINAPI*)(HANDLE);
FlushFunction realFlush = nullptr;

BOOL WINAPI CountedFlush(HANDLE file) {
    ++flushes;
    return realFlush(file);
}

}  // namespace

BOOL ReplaceConfigFile(const char* replaced, const char* replacement,
                       DWORD flags) {
    replaceFlags = flags;
    flushesBeforeReplace = flushes;
    if (replaceCalls++ >= injectedFailure.times) {
        return ReplaceFileA(replaced, replacement, nullptr, flags, nullptr,
                            nullptr);
    }
    if (injectedFailure.oldFile == OldFile::Deleted) {
        DeleteFileA(replaced);
    } else if (injectedFailure.oldFile == OldFile::Renamed) {
        MoveFileA(replaced, (std::string(replaced) + RENAMED_END).c_str());
    }
    SetLastError(injectedFailure.error);
    return FALSE;
}

namespace {

class SaveFaultsTest : public ClockTest {};

TEST_F(SaveFaultsTest, ReadOnlyFileIsLeftAsItWasAndHiddenStaysHidden) {
    ConfigValues original;
    original.window = {200, 200, 265, 218};
    const std::string bytes = ConfigText(original);
    directory.WriteFile(CONFIG, bytes);
    ASSERT_TRUE(SetFileAttributesA(directory.File(CONFIG).c_str(),
                                   FILE_ATTRIBUTE_READONLY));
    ASSERT_NE(nullptr, StartClock());
    ASSERT_TRUE(MoveClock(clock, 400, 300));

    EXPECT_EQ(SAVE_FAILED_TEXT, SaveAndAnswer(process->Id(), clock));
    std::string after;
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_EQ(bytes, after);
    EXPECT_EQ(1u, directory.FileNames().size()) << "a temporary file was left";
    EXPECT_TRUE(process->IsRunning());

    // Once the user makes it writable, the same command succeeds, and keeps
    // the file as the user marked it.
    constexpr DWORD MARKS = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    SetFileAttributesA(directory.File(CONFIG).c_str(), MARKS);
    EXPECT_EQ(SAVED_TEXT, SaveAndAnswer(process->Id(), clock));
    EXPECT_EQ(MARKS,
              GetFileAttributesA(directory.File(CONFIG).c_str()) & MARKS);
    ConfigValues moved = original;
    moved.window = WindowRect(clock);
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_EQ(ConfigText(moved), after);
}

// Held open without sharing: the file by another program, or the temporary
// file by a second clock in the middle of its own save. Once let go, that
// temporary file is what a crash would leave, and the next save clears it.
class LockedFileTest : public ClockTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(LockedFileTest, SaveFailsAndLeavesAllAsItWas) {
    const char* locked = GetParam();
    ConfigValues original;
    original.background = GetSysColor(COLOR_BACKGROUND);
    const std::string bytes = ConfigText(original);
    directory.WriteFile(CONFIG, bytes);
    HANDLE lock = CreateFileA(directory.File(locked).c_str(),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    ASSERT_NE(nullptr, StartClock());
    ASSERT_TRUE(MoveClock(clock, 300, 200));

    EXPECT_EQ(SAVE_FAILED_TEXT, SaveAndAnswer(process->Id(), clock));
    CloseHandle(lock);
    std::string after;
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_EQ(bytes, after);
    const bool otherSaveLeftItsFile = locked == TEMP;
    EXPECT_EQ(otherSaveLeftItsFile ? 2u : 1u, directory.FileNames().size());

    EXPECT_EQ(SAVED_TEXT, SaveAndAnswer(process->Id(), clock));
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_EQ(ConfigText(DefaultsAt(clock)), after);
    EXPECT_EQ(1u, directory.FileNames().size()) << "a file was left";
}

INSTANTIATE_TEST_SUITE_P(Locked, LockedFileTest,
                         ::testing::Values(CONFIG, TEMP),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param == TEMP
                                                    ? "TemporaryFile"
                                                    : "Config");
                         });

// Another program holds the file for a moment after the save begins, as a
// virus scanner or a sync client does with a file just written: the save
// waits for it.
TEST_F(SaveFaultsTest, FileHeldForAMomentIsReplacedOnceLetGo) {
    ASSERT_NE(nullptr, StartClock(ConfigText(ConfigValues())));
    ASSERT_TRUE(MoveClock(clock, 250, 150));
    HANDLE holder = CreateFileA(directory.File(CONFIG).c_str(), GENERIC_READ,
                                0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);

    const std::string answer = SaveAndAnswer(process->Id(), clock, [&] {
        // Once the save has closed its new file, which it holds unshared
        // until then, its first try at the replace fails at once on the held
        // file. Nothing here may wait on the clock's window, which does not
        // answer while it waits.
        EXPECT_TRUE(WaitUntil([&] {
            HANDLE file = CreateFileA(
                directory.File(TEMP).c_str(), GENERIC_READ,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            return file != INVALID_HANDLE_VALUE && CloseHandle(file);
        })) << "the save never reached its replace";
        Sleep(MOMENTARY_HOLD_MS);
        CloseHandle(holder);
    });
    EXPECT_EQ(SAVED_TEXT, answer);
    ConfigValues moved;
    moved.window = WindowRect(clock);
    std::string after;
    ASSERT_TRUE(directory.ReadFile(CONFIG, &after));
    EXPECT_EQ(ConfigText(moved), after);
    EXPECT_EQ(1u, directory.FileNames().size()) << "a file was left";
}

// Another program holding the file: one that shares it all the while, as a
// sync client can, whether it reads, writes or may delete it, does not stop
// a save; one that does not share deletion does, before the replace is tried
// (Wine's failed one would leave a stray file of its own on every try).
TEST_F(SaveFaultsTest, FileHeldByAnotherIsReplacedIfItSharesDeletion) {
    constexpr DWORD READ_WRITE = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct Row {
        DWORD access;
        DWORD sharing;
        int result;
        const char* bytes;
    };
    const Row rows[] = {{GENERIC_READ, READ_WRITE | FILE_SHARE_DELETE, 1, "new"},
                        {GENERIC_WRITE, READ_WRITE | FILE_SHARE_DELETE, 1, "new"},
                        {DELETE, READ_WRITE | FILE_SHARE_DELETE, 1, "new"},
                        {GENERIC_READ, READ_WRITE, 0, "old"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.access) + " " +
                     std::to_string(row.sharing));
        TempDirectory folder;
        folder.WriteFile(CONFIG, "old");
        HANDLE holder =
            CreateFileA(folder.File(CONFIG).c_str(), row.access, row.sharing,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        injectedFailure = ReplaceFailure();
        replaceCalls = 0;
        const std::string bytes = "new";
        EXPECT_EQ(row.result, WriteFileReplacing(folder.File(TEMP).c_str(),
                                                 folder.File(CONFIG).c_str(),
                                                 bytes.data(), bytes.size()));
        CloseHandle(holder);
        std::string after;
        EXPECT_TRUE(folder.ReadFile(CONFIG, &after));
        EXPECT_EQ(row.bytes, after);
        EXPECT_EQ(1u, folder.FileNames().size()) << "a file was left";
    }
}

// A Greek and Japanese folder name on a system whose ANSI code page has
// neither: the first save creates the file, the second replaces it.
TEST_F(SaveFaultsTest, FolderTheCodePageCannotSpellTakesEverySave) {
    const std::wstring nameEnd = L"-\u03C9\u6642\u8A08";
    BOOL spelledWithDefault = FALSE;
    WideCharToMultiByte(CP_ACP, 0, nameEnd.c_str(), -1, nullptr, 0, nullptr,
                        &spelledWithDefault);
    if (!spelledWithDefault) {
        GTEST_SKIP() << "the ANSI code page spells the folder's name";
    }
    TempDirectory folder(nameEnd);
    ClockProcess running(folder.WidePath());
    HWND shown = running.Clock();
    ASSERT_NE(nullptr, shown);
    for (int x : {150, 300}) {
        SCOPED_TRACE(x);
        ASSERT_TRUE(MoveClock(shown, x, 200));
        EXPECT_EQ(SAVED_TEXT, SaveAndAnswer(running.Id(), shown));
    }
    std::string after;
    ASSERT_TRUE(folder.ReadFile(CONFIG, &after));
    EXPECT_EQ(ConfigText(DefaultsAt(shown)), after);
    EXPECT_EQ(1u, folder.FileNames().size()) << "a file was left";
}

// A replace that fails half way, as ReplaceFile documents it can, must not
// delete the last copy: whatever is left, a whole "Velmora.cfg" ends in
// place, the new one where it can be. ERROR_UNABLE_TO_MOVE_REPLACEMENT comes
// with the old file deleted or kept (its message says kept, ReplaceFile's
// page says deleted when there is no backup name).
TEST_F(SaveFaultsTest, ReplaceThatFailsHalfWayLeavesAWholeFile) {
    struct Row {
        ReplaceFailure failure;
        int result;
        const char* bytes;
        size_t files;
        DWORD waitedMs;  // at least, before the save ended
    };
    // A file held for a moment is tried five times more, the last time
    // after RETRY_BUDGET_MS; each of the three errors can mean it.
    const Row rows[] = {
        {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, OldFile::Deleted, 1}, 1, "new", 1, 0},
        {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, OldFile::Stays, 1}, 0, "old", 1, 0},
        {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, OldFile::Renamed, 1}, 1, "new", 2, 0},
        {{ERROR_SHARING_VIOLATION, OldFile::Stays, 2}, 1, "new", 1, 0},
        {{ERROR_ACCESS_DENIED, OldFile::Stays, 5},
         1, "new", 1, RETRY_BUDGET_MS - LAST_RETRY_WAIT_MS},
        {{ERROR_UNABLE_TO_REMOVE_REPLACED, OldFile::Stays, 6},
         0, "old", 1, RETRY_BUDGET_MS}};
    realFlush = reinterpret_cast<FlushFunction>(
        PatchImport(GetModuleHandleA(nullptr), "kernel32.dll",
                    "FlushFileBuffers", reinterpret_cast<void*>(CountedFlush)));
    ASSERT_NE(nullptr, realFlush) << "nothing here flushes a file";
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.failure.error) + " " + row.bytes);
        TempDirectory folder;
        folder.WriteFile(CONFIG, "old");
        injectedFailure = row.failure;
        replaceCalls = 0;
        flushes = 0;
        flushesBeforeReplace = 0;
        const std::string bytes = "new";

        const DWORD start = GetTickCount();
        EXPECT_EQ(row.result,
                  WriteFileReplacing(folder.File(TEMP).c_str(),
                                     folder.File(CONFIG).c_str(),
                                     bytes.data(), bytes.size()));
        EXPECT_GE(GetTickCount() - start + TICK_STEP_MS, row.waitedMs);
        // Or a power cut after the replace can leave an empty file.
        EXPECT_EQ(1, flushesBeforeReplace) << "replaced before it was flushed";
        std::string after;
        EXPECT_TRUE(folder.ReadFile(CONFIG, &after)) << "no file in place";
        EXPECT_EQ(row.bytes, after);
        EXPECT_EQ(row.files, folder.FileNames().size());
        // Without it a share whose access control cannot be merged fails.
        EXPECT_EQ(DWORD{REPLACEFILE_IGNORE_MERGE_ERRORS}, replaceFlags);
    }
    PatchImport(GetModuleHandleA(nullptr), "kernel32.dll", "FlushFileBuffers",
                reinterpret_cast<void*>(realFlush));
}

// A hidden temporary file left by a crash, which CREATE_ALWAYS would not
// overwrite without being asked for hidden again (Wine's overwrites it and
// keeps it hidden), bytes that cannot all be written, as on a full disk
// (here they run into memory nothing may read), and a read-only file, which
// is refused before anything is written.
TEST_F(SaveFaultsTest, LeftoverOrFailedWriteStillEndsWithAWholeFile) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(
        nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, pages);
    DWORD was = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &was));
    const std::string bytes = "new";
    char* unreadableAfter = pages + page - bytes.size();
    bytes.copy(unreadableAfter, bytes.size());
    struct Row {
        const char* old;  // null: the first save
        DWORD oldMarks;
        bool hiddenLeftover;
        size_t length;
        int result;
        const char* bytes;
    };
    const Row rows[] = {
        {nullptr, 0, true, bytes.size(), 1, "new"},
        {"old", 0, false, bytes.size() + page, 0, "old"},
        {"old", FILE_ATTRIBUTE_READONLY, false, bytes.size(), 0, "old"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hiddenLeftover ? "hidden leftover"
                     : row.oldMarks != 0 ? "read-only"
                                         : "failed write");
        TempDirectory folder;
        if (row.old != nullptr) {
            folder.WriteFile(CONFIG, row.old);
        }
        if (row.oldMarks != 0) {
            SetFileAttributesA(folder.File(CONFIG).c_str(), row.oldMarks);
        }
        if (row.hiddenLeftover) {
            folder.WriteFile(TEMP, "crashed");
            SetFileAttributesA(folder.File(TEMP).c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
        injectedFailure = ReplaceFailure();
        replaceCalls = 0;
        EXPECT_EQ(row.result, WriteFileReplacing(folder.File(TEMP).c_str(),
                                                 folder.File(CONFIG).c_str(),
                                                 unreadableAfter, row.length));
        std::string after;
        EXPECT_TRUE(folder.ReadFile(CONFIG, &after));
        EXPECT_EQ(row.bytes, after);
        EXPECT_EQ(0u, GetFileAttributesA(folder.File(CONFIG).c_str()) &
                          FILE_ATTRIBUTE_HIDDEN)
            << "the leftover's mark reached the configuration";
        EXPECT_EQ(1u, folder.FileNames().size()) << "a file was left";
        EXPECT_EQ(0, replaceCalls) << "nothing to replace with";
        SetFileAttributesA(folder.File(CONFIG).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
