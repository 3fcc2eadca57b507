#include "Core/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Meridian {

FILE* OpenRegularFile(const std::string& path, std::string* why) {
    // Devices are not even opened; the check after opening covers a swap.
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (why) *why = "not a regular file";
        errno = EINVAL;
        return nullptr;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (why) *why = strerror(error);
        errno = error;
        return nullptr;
    }
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const int flags = regular ? fcntl(fd, F_GETFL) : -1;
    FILE* file = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        const int error = regular ? errno : EINVAL;
        if (why) *why = regular ? strerror(error) : "not a regular file";
        close(fd);
        errno = error;
    }
    return file;
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace Meridian
