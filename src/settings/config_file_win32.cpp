// The safe-save file steps on Windows: one temporary file beside the target,
// opened without sharing, flushed to the disk before it replaces the target.
#include "config_file_os.h"

#include "replace_file_win32.h"

#include <cstring>

#include <windows.h>

namespace {

// What ReplaceFile keeps on Windows but Wine's, a plain rename, drops; the
// temporary file is created with them, so the user's marks survive both.
constexpr DWORD CARRIED_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

constexpr DWORD ANY_SHARING =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// On a network share the old file's access control may not merge into the
// new file; the replace then keeps the new file's own instead of failing.
// Wine ignores every flag.
constexpr DWORD REPLACE_FLAGS = REPLACEFILE_IGNORE_MERGE_ERRORS;

// A virus scanner, the search indexer or a sync client opens a file just
// written for a moment, and the replace fails with one of these meanwhile.
// The save tries again, waiting twice as long each time: 32 + 64 + ... + 512
// ms, about a second in all, before it gives up.
constexpr DWORD FIRST_RETRY_WAIT_MS = 32;
constexpr DWORD LAST_RETRY_WAIT_MS = 512;

// ERROR_UNABLE_TO_REMOVE_REPLACED is Windows' word for another program
// opening the old file just before the swap; both files keep their names.
bool IsMomentary(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Held open without delete sharing by another program, the file cannot be
// replaced. Asking first matters under Wine, whose failed ReplaceFile leaves
// a stray "rf*.tmp" of its own in the directory on every try.
bool CanBeReplaced(const char* path) {
    HANDLE file = CreateFileA(path, DELETE, ANY_SHARING, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// Wine's ReplaceFile fails on a bare file name (ERROR_DIRECTORY): it looks
// for the folder in the name itself. A full path is no way round that: the A
// functions spell the current folder in the ANSI code page, "?" for each
// character it lacks (a Greek folder on a Western system), and the name is
// refused (ERROR_INVALID_NAME). ".\" names the folder without spelling it.
constexpr char CURRENT_FOLDER[] = ".\\";
constexpr char FOLDER_MARKS[] = "\\/:";
constexpr std::size_t FOLDER_NAME_SIZE = TEMP_PATH_SIZE + sizeof CURRENT_FOLDER;

bool NameWithFolder(const char* path, char (&name)[FOLDER_NAME_SIZE]) {
    const char* folder =
        std::strpbrk(path, FOLDER_MARKS) != nullptr ? "" : CURRENT_FOLDER;
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t pathLength = std::strlen(path);
    if (folderLength + pathLength >= FOLDER_NAME_SIZE) {
        return false;
    }
    std::memcpy(name, folder, folderLength);
    std::memcpy(name + folderLength, path, pathLength + 1);
    return true;
}

bool Replace(const char* targetPath, const char* tempPath) {
    char target[FOLDER_NAME_SIZE];
    char temp[FOLDER_NAME_SIZE];
    if (!NameWithFolder(targetPath, target) ||
        !NameWithFolder(tempPath, temp)) {
        return false;
    }
    for (DWORD waitMs = FIRST_RETRY_WAIT_MS;; waitMs *= 2) {
        if (CanBeReplaced(targetPath) &&
            ReplaceConfigFile(target, temp, REPLACE_FLAGS)) {
            return true;
        }
        if (waitMs > LAST_RETRY_WAIT_MS || !IsMomentary(GetLastError())) {
            return false;
        }
        Sleep(waitMs);
    }
}

// Every failure ReplaceFile documents leaves the new file under its
// temporary name, but not always the old one under its own: without a backup
// name, ERROR_UNABLE_TO_MOVE_REPLACEMENT has deleted it and
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 has moved it to a name of the system's
// choosing. Then the new file, whole and on the disk, takes its place instead
// of going with the last copy. Whatever has the target's name is whole:
// files get there only by a rename. A backup name would not make this
// simpler: the new file may still need moving, and every save would leave a
// third file to delete, or a crash leave it behind.
int KeepWholeFile(const char* targetPath, const char* tempPath) {
    if (GetFileAttributesA(targetPath) != INVALID_FILE_ATTRIBUTES) {
        DeleteFileA(tempPath);
        return 0;
    }
    // Without MOVEFILE_REPLACE_EXISTING: a file that appeared there meanwhile
    // stays, and so does the new one under its temporary name.
    return MoveFileExA(tempPath, targetPath, MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

int WriteFileReplacing(const char* tempPath, const char* targetPath,
                       const char* bytes, std::size_t length) {
    // A read-only configuration is the user's wish to keep it. ReplaceFile
    // would refuse it too, but only after the temporary file was written.
    DWORD attributes = GetFileAttributesA(targetPath);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if ((exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) ||
        length > MAXDWORD) {
        return 0;
    }
    // A file left by a crashed save goes first: CREATE_ALWAYS refuses to
    // overwrite a hidden file unless asked for hidden again. One that another
    // clock holds stays, and the create below fails on it.
    DeleteFileA(tempPath);
    // No sharing: a second clock saving at the same moment cannot open the
    // file, so it fails instead of mixing its bytes with ours. The file it
    // failed on is then the other clock's, and is not deleted.
    DWORD carried = exists ? attributes & CARRIED_ATTRIBUTES : 0;
    HANDLE file = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS,
                              carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD written = 0;
    // Without the flush the rename can reach the disk before the data, and a
    // power cut then leaves an empty or zero-filled file.
    bool done = WriteFile(file, bytes, static_cast<DWORD>(length), &written,
                          nullptr) &&
                written == length && FlushFileBuffers(file);
    done = CloseHandle(file) && done;
    if (done && exists) {
        // ReplaceFile keeps what the old file carried (attributes, streams,
        // security); a rename would install a bare new file.
        return Replace(targetPath, tempPath)
                   ? 1
                   : KeepWholeFile(targetPath, tempPath);
    }
    if (done &&
        MoveFileExA(tempPath, targetPath, MOVEFILE_WRITE_THROUGH) != 0) {
        return 1;
    }
    DeleteFileA(tempPath);
    return 0;
}
