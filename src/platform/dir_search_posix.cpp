#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/posix_path.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

uint32_t LocalDosTime(time_t written) {
    tm parts{};
    if (!localtime_r(&written, &parts)) return 0;
    int year = parts.tm_year + 1900;
    if (year >= 1980 && year <= 2107)
        return PackDosTime(year, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                           parts.tm_sec > 59 ? 59 : parts.tm_sec);
    return OutOfRangeDosTime(static_cast<int64_t>(written) + parts.tm_gmtoff +
                             kSecondsFrom1601To1970);
}

// Four ASCII bytes as four UTF-16 units, in memory order.
uint64_t Widen(uint32_t bytes) {
    uint64_t units = bytes;
    units = (units | (units << 16)) & 0x0000FFFF0000FFFFu;
    return (units | (units << 8)) & 0x00FF00FF00FF00FFu;
}

// Decodes UTF-8 into `name` as Utf8ToUtf16 does; false, with `name` of no
// use, at the first sequence that is not well-formed.
bool DecodeWellFormed(const unsigned char* bytes, size_t length, std::u16string& name) {
    name.resize(length);  // never fewer bytes than units
    char16_t* out = name.data();
    size_t units = 0;
    for (size_t i = 0; i < length;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out[units++] = lead;
            ++i;
            continue;
        }
        size_t n;
        char32_t c, least;
        if ((lead & 0xE0) == 0xC0) {
            n = 2, c = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            n = 3, c = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            n = 4, c = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (n > length - i) return false;
        for (size_t k = 1; k < n; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c < 0x10000) {
            out[units++] = static_cast<char16_t>(c);
        } else {
            c -= 0x10000;
            out[units++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[units++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
        i += n;
    }
    name.resize(units);
    return true;
}

uint64_t Load8(const char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The entry's buffer is reused from name to name; most names are ASCII, and
// those need neither a decoder nor an allocation.
void SetName(std::u16string& name, const char* bytes) {
    const size_t length = std::strlen(bytes);
    // Eight bytes at a time, the last eight overlapping the ones before.
    uint64_t high = 0;
    if (length >= 8) {
        for (size_t i = 0; i + 8 < length; i += 8) high |= Load8(bytes + i);
        high |= Load8(bytes + length - 8);
    } else {
        for (size_t i = 0; i < length; ++i) high |= static_cast<unsigned char>(bytes[i]);
    }
    if (high & 0x8080808080808080u) {
        // Ill-formed names take the general decoder with its escapes.
        if (!DecodeWellFormed(reinterpret_cast<const unsigned char*>(bytes), length, name))
            name = Utf8ToUtf16(std::string_view(bytes, length));
        return;
    }
    name.resize(length);
    char16_t* out = name.data();
    if (length < 8 || std::endian::native != std::endian::little) {
        for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
        return;
    }
    for (size_t i = 0;; i += 8) {
        if (i + 8 > length) i = length - 8;
        const uint64_t eight = Load8(bytes + i);
        const uint64_t units[2] = {Widen(static_cast<uint32_t>(eight)),
                                   Widen(static_cast<uint32_t>(eight >> 32))};
        std::memcpy(out + i, units, sizeof units);
        if (i + 8 == length) return;
    }
}

// ToPosixPath's result, in a buffer kept from listing to listing; most paths
// are ASCII and need no decoder.
const char* PosixPath(std::u16string_view path) {
    thread_local std::string buffer;
    buffer.resize(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i];
        if (unit >= 0x80) {
            buffer = ToPosixPath(path);
            return buffer.c_str();
        }
        buffer[i] = unit == u'\\' ? '/' : static_cast<char>(unit);
    }
    return buffer.c_str();
}

bool Read(DIR* dir, bool deferTimes, DirEntry& entry) {
    dirent* found = readdir(dir);
    if (!found) return false;
    SetName(entry.name, found->d_name);
    struct stat info;
    // Links are followed, as the Windows listing reports a linked folder as a
    // folder; a dangling link is listed as itself.
    const int fd = dirfd(dir);
    if (fstatat(fd, found->d_name, &info, 0) != 0 &&
        fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        info = {};
    entry.directory = S_ISDIR(info.st_mode);
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.written = info.st_mtime;
    entry.time = deferTimes ? 0 : LocalDosTime(info.st_mtime);
    return true;
}

// What the current batch has converted, in slots tagged with the batch: a
// second converted in an earlier batch may belong to another time zone.
struct Converted {
    int64_t written;
    uint32_t batch;  // 0 in a slot no batch has used
    uint32_t time;
};

thread_local std::vector<Converted> converted;
thread_local uint32_t batches = 0;

}  // namespace

LocalTimes::LocalTimes(size_t count) {
    // As many slots as times, so that a small batch stays in a few cache
    // lines however large an earlier one was; at most 32,768 (512 KiB).
    const size_t slots = std::bit_ceil(std::clamp<size_t>(count, 1, size_t{1} << 15));
    if (converted.size() < slots) converted.resize(slots, Converted{0, 0, 0});
    if (++batches == 0) {
        // The tags have gone round: no slot may pass for this batch's.
        std::fill(converted.begin(), converted.end(), Converted{0, 0, 0});
        batches = 1;
    }
    mask_ = slots - 1;
    batch_ = batches;
}

uint32_t LocalTimes::DosTime(int64_t written) {
    const auto spread = static_cast<uint64_t>(written) * 0x9E3779B97F4A7C15u;
    Converted& known = converted[(spread >> 32) & mask_];
    if (known.batch != batch_ || known.written != written)
        known = {written, batch_, LocalDosTime(static_cast<time_t>(written))};
    return known.time;
}

DirSearch::~DirSearch() {
    if (handle_) closedir(static_cast<DIR*>(handle_));
}

bool DirSearch::First(const char16_t* pattern, DirEntry& entry) {
    if (handle_) closedir(static_cast<DIR*>(handle_));
    std::u16string_view text(pattern);
    constexpr std::u16string_view kAll = u"\\*.*";
    if (text.size() >= kAll.size() && text.substr(text.size() - kAll.size()) == kAll)
        text.remove_suffix(kAll.size() - 1);  // keep the separator: "\*.*" on "/" lists the root
    handle_ = opendir(PosixPath(text));
    return handle_ && Read(static_cast<DIR*>(handle_), deferTimes_, entry);
}

bool DirSearch::Next(DirEntry& entry) {
    return handle_ && Read(static_cast<DIR*>(handle_), deferTimes_, entry);
}

}  // namespace platform
