#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "platform/posix_path.h"

namespace platform {
namespace {

// The codes the program knows by number are the Windows ones.
uint32_t Code(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? 5u : static_cast<uint32_t>(error);
}

}  // namespace

File::~File() {
    Close();
}

bool File::OpenRead(std::u16string_view path) {
    Close();
    handle_ = open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    openError_ = handle_ < 0 ? Code(errno) : 0;
    return handle_ >= 0;
}

bool File::Create(std::u16string_view path) {
    Close();
    handle_ = open(ToPosixPath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    openError_ = handle_ < 0 ? Code(errno) : 0;
    return handle_ >= 0;
}

bool File::OpenAppend(std::u16string_view path) {
    Close();
    handle_ = open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    openError_ = handle_ < 0 ? Code(errno) : 0;
    return handle_ >= 0;
}

uint64_t File::Size() const {
    struct stat info {};
    return fstat(static_cast<int>(handle_), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

size_t File::Read(void* buffer, size_t bytes, uint32_t& error) {
    size_t done = 0;
    error = 0;
    while (done < bytes) {
        ssize_t got =
            read(static_cast<int>(handle_), static_cast<char*>(buffer) + done, bytes - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = Code(errno);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t File::Write(const void* buffer, size_t bytes, uint32_t& error) {
    size_t done = 0;
    error = 0;
    while (done < bytes) {
        ssize_t put =
            write(static_cast<int>(handle_), static_cast<const char*>(buffer) + done, bytes - done);
        if (put < 0 && errno == EINTR) continue;
        // A full disk is a short write, as on Windows.
        if (put < 0 && errno != ENOSPC) error = Code(errno);
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    return done;
}

bool File::Flush(uint32_t& error) {
    error = fsync(static_cast<int>(handle_)) == 0 ? 0 : Code(errno);
    return error == 0;
}

void File::Close() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    handle_ = -1;
}

void CreateFolders(std::u16string_view path) {
    std::string posix = ToPosixPath(path);
    for (size_t at = posix.find('/', 1); at != std::string::npos; at = posix.find('/', at + 1))
        mkdir(posix.substr(0, at).c_str(), 0755);
    mkdir(posix.c_str(), 0755);
}

bool ReplaceWith(std::u16string_view from, std::u16string_view to, uint32_t& error) {
    std::string target = ToPosixPath(to);
    struct stat info {};
    // rename() would replace a write-protected file; Windows would not.
    if (stat(target.c_str(), &info) == 0 && !(info.st_mode & S_IWUSR)) {
        error = 5;
        return false;
    }
    error = rename(ToPosixPath(from).c_str(), target.c_str()) == 0 ? 0 : Code(errno);
    return error == 0;
}

void RemoveFile(std::u16string_view path) {
    unlink(ToPosixPath(path).c_str());
}

Writers SystemWritersOf(std::u16string_view path) {
    const int fd = open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Writers::gone : Writers::none;
    Writers writers = Writers::none;
#ifdef F_SETLEASE
    // Refused with EAGAIN while the file is open for writing anywhere; other
    // refusals (a file system without leases, a file of another user) tell
    // nothing.
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    else if (errno == EAGAIN)
        writers = Writers::busy;
#endif
    close(fd);
    return writers;
}

}  // namespace platform
