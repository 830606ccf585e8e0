#include "base/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Refuse(int fd, int error) {
    ::close(fd);
    errno = error;
    return -1;
}

// The checks every opened file passes; O_NONBLOCK (which kept a FIFO from
// blocking the open) is cleared afterwards.
int Checked(int fd, bool ownOnly, bool singleName) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return Refuse(fd, errno);
    if (!S_ISREG(info.st_mode))
        return Refuse(fd, EINVAL);
    if (ownOnly && info.st_uid != ::geteuid())
        return Refuse(fd, EACCES);
    if (singleName && info.st_nlink > 1)
        return Refuse(fd, EMLINK);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Refuse(fd, errno);
    return fd;
}

std::FILE* Stream(int fd, const char* mode) {
    if (fd < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return stream;
}

bool SameLink(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_uid == b.st_uid;
}

} // namespace

int OpenFileForWriting(const std::string& path) {
    // Not O_TRUNC: a file that fails the checks must keep its contents.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (Checked(fd, true, true) < 0)
        return -1;
    if (::ftruncate(fd, 0) != 0)
        return Refuse(fd, errno);
    return fd;
}

std::FILE* OpenStreamForWriting(const std::string& path) {
    return Stream(OpenFileForWriting(path), "wb");
}

std::FILE* OpenStreamForUpdate(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return Stream(Checked(fd, true, true), "r+b");
}

int OpenFileForReading(const std::string& path, bool ownOnly) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) {
        // A link this user made is followed; it must still be that link
        // once the file behind it is open.
        struct stat before {};
        if (::lstat(path.c_str(), &before) != 0 || !S_ISLNK(before.st_mode) ||
            before.st_uid != ::geteuid()) {
            errno = ELOOP;
            return -1;
        }
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return -1;
        struct stat after {};
        if (::lstat(path.c_str(), &after) != 0 || !SameLink(before, after))
            return Refuse(fd, ELOOP);
    }
    if (fd < 0)
        return -1;
    return Checked(fd, ownOnly, false);
}

bool ReadWholeFile(const std::string& path, bool ownOnly, size_t limit,
                   std::vector<uint8_t>& bytes) {
    const int fd = OpenFileForReading(path, ownOnly);
    if (fd < 0)
        return false;
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && static_cast<uintmax_t>(info.st_size) > limit)
        error = EFBIG;
    size_t got = 0;
    if (error == 0)
        bytes.resize(static_cast<size_t>(info.st_size));
    while (error == 0 && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno != EINTR)
            error = errno;
        if (n == 0)
            break; // the file shrank meanwhile
        if (n > 0)
            got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (error != 0) {
        bytes.clear();
        errno = error;
        return false;
    }
    bytes.resize(got);
    return true;
}

void RemoveScratchFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode) && !S_ISDIR(info.st_mode))
        ::unlink(path.c_str());
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    const int fd = OpenFileForWriting(path);
    if (fd < 0)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    int error = 0;
    while (error == 0 && size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    errno = error;
    return error == 0;
}

std::string FileErrorText(int error) {
    switch (error) {
    case ELOOP:
        return "It is a symbolic link, which is not followed";
    case EMLINK:
        return "It has other names (hard links)";
    case EINVAL:
        return "It is not a regular file";
    default:
        return std::strerror(error);
    }
}
