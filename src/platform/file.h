// Binary files and folders, for the watch list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace platform {

// An open file; closed when it goes out of scope. Errors are the system's
// codes (5: access denied).
class File {
  public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // For reading; other programs may read and write the file meanwhile.
    bool OpenRead(std::u16string_view path);
    // Creates the file, or empties it, for writing.
    bool Create(std::u16string_view path);
    // Opens the file, created when missing, for writes at its end.
    bool OpenAppend(std::u16string_view path);
    // The open file's size in bytes.
    uint64_t Size() const;
    // How many bytes were transferred; fewer than asked at the end of the
    // file (reads) or when the disk is full (writes). `error` is set when the
    // system reported an error, else 0.
    size_t Read(void* buffer, size_t bytes, uint32_t& error);
    size_t Write(const void* buffer, size_t bytes, uint32_t& error);
    // Puts what was written on the disk.
    bool Flush(uint32_t& error);
    void Close();
    // The system's error of the last failed open.
    uint32_t OpenError() const { return openError_; }

  private:
    intptr_t handle_ = -1;
    uint32_t openError_ = 0;
};

// Creates every missing folder along `path`, outermost first; failures are
// left for the file access that follows to find.
void CreateFolders(std::u16string_view path);

// Puts `from` in the place of `to`, replacing it in one step; a write-
// protected `to` is not replaced. On failure `from` is left where it is.
bool ReplaceWith(std::u16string_view from, std::u16string_view to, uint32_t& error);

void RemoveFile(std::u16string_view path);

// Whether another program is still writing a file.
enum class Writers {
    none,  // nobody holds it open for writing (or the system cannot tell)
    busy,  // a program holds it open for writing, or denies reading it
    gone,  // it is no longer there
};
// One attempt to open the file. Windows: a read open that shares only
// reading fails with a sharing violation; POSIX: a read lease, which the
// system refuses while any descriptor has the file open for writing.
Writers WritersOf(std::u16string_view path);

// Test seam: answers for WritersOf where it returns a value.
using WritersFault = std::function<std::optional<Writers>(std::u16string_view path)>;
void SetWritersFault(WritersFault fault);

}  // namespace platform
