// The safe-save file steps on POSIX systems, where the native tests run.
#include "config_file_os.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t NEW_FILE_MODE = 0666;  // less the umask, as fopen gives
}  // namespace

int WriteFileReplacing(const char* tempPath, const char* targetPath,
                       const char* bytes, std::size_t length) {
    // A read-only configuration stays as it is, as it does on Windows; the
    // mode bits count, since root could write it anyway.
    struct stat status;
    if (stat(targetPath, &status) == 0 && (status.st_mode & S_IWUSR) == 0) {
        return 0;
    }
    int fd = open(tempPath, O_WRONLY | O_CREAT | O_TRUNC, NEW_FILE_MODE);
    if (fd < 0) {
        return 0;
    }
    bool done = true;
    for (std::size_t offset = 0; done && offset < length;) {
        ssize_t count = write(fd, bytes + offset, length - offset);
        done = count > 0;
        offset += done ? static_cast<std::size_t>(count) : 0;
    }
    // The data must be on the disk before the rename is: otherwise a power
    // cut can leave the new name on an empty file.
    done = done && fsync(fd) == 0;
    done = close(fd) == 0 && done;
    if (done && std::rename(tempPath, targetPath) == 0) {
        return 1;
    }
    std::remove(tempPath);
    return 0;
}
