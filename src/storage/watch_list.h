// The watch list file "options.dat": a 32-bit little-endian entry count, then
// for every entry seven string records (a 32-bit length and that many
// Windows-1252 bytes): directory, subdirectories, command, parameters, new
// files, changed files, invisible. When some text does not fit the code page,
// a block after the last entry keeps every text exactly; older readers ignore
// bytes after the last entry.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class File;
}

// A failed read or write of the watch list; the text is what the error box shows.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using WatchRow = std::vector<std::u16string>;  // seven cells

// Appends one string record to an image of the file.
void WriteFileString(std::string& file, std::string_view text);

// Reads the file from its start, record by record.
class FileReader {
public:
    explicit FileReader(platform::File& file) : file_(file) {}
    int32_t ReadInt();
    std::string ReadFileString();
    // What is left of the file, at most `limit` bytes.
    std::string ReadRest(size_t limit);

private:
    void ReadExactly(void* buffer, size_t bytes);
    platform::File& file_;
};

// The whole file for these rows.
std::string EncodeWatchList(const std::vector<WatchRow>& rows);

// The exact texts kept after the last entry, if the block is there, intact,
// and made for exactly `rows` (as read from the records).
bool DecodeExactTexts(std::string_view tail, const std::vector<WatchRow>& rows, std::vector<WatchRow>& exact);

std::string IoErrorText(uint32_t code);
