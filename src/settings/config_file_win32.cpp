// The safe-save file steps on Windows: one temporary file beside the target,
// opened without sharing, flushed to the disk before it replaces the target.
#include "config_file_os.h"

#include <windows.h>

namespace {

// What ReplaceFile keeps on Windows but Wine's, a plain rename, drops; the
// temporary file is created with them, so the user's marks survive both.
constexpr DWORD CARRIED_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

constexpr DWORD ANY_SHARING =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Held open without delete sharing by another program, the file cannot be
// replaced. Asking first matters under Wine, whose failed ReplaceFile leaves
// a stray "rf*.tmp" of its own in the directory.
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
// for the directory in the name itself.
bool Replace(const char* targetPath, const char* tempPath) {
    char fullTarget[MAX_PATH];
    char fullTemp[MAX_PATH];
    DWORD targetLength =
        GetFullPathNameA(targetPath, MAX_PATH, fullTarget, nullptr);
    DWORD tempLength = GetFullPathNameA(tempPath, MAX_PATH, fullTemp, nullptr);
    return targetLength > 0 && targetLength < MAX_PATH && tempLength > 0 &&
           tempLength < MAX_PATH &&
           ReplaceFileA(fullTarget, fullTemp, nullptr, 0, nullptr, nullptr);
}

}  // namespace

int WriteFileReplacing(const char* tempPath, const char* targetPath,
                       const char* bytes, std::size_t length) {
    // A read-only configuration is the user's wish to keep it. ReplaceFile
    // would refuse it too, but only after the temporary file was written.
    DWORD attributes = GetFileAttributesA(targetPath);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && ((attributes & FILE_ATTRIBUTE_READONLY) != 0 ||
                   !CanBeReplaced(targetPath))) {
        return 0;
    }
    if (length > MAXDWORD) {
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
    if (done) {
        // ReplaceFile keeps what the old file carried (attributes, streams,
        // security); a rename would install a bare new file.
        done = exists ? Replace(targetPath, tempPath)
                      : MoveFileExA(tempPath, targetPath,
                                    MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!done) {
        DeleteFileA(tempPath);
        return 0;
    }
    return 1;
}
