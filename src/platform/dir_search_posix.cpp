#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "base/text.h"
#include "platform/dir_search.h"
#include "platform/posix_path.h"

namespace platform {
namespace {

constexpr int64_t kTicksFrom1601To1970 = 116444736000000000;

uint64_t Ticks(const timespec& at) {
    return static_cast<uint64_t>(static_cast<int64_t>(at.tv_sec) * 10000000 + at.tv_nsec / 100 +
                                 kTicksFrom1601To1970);
}

DirId IdOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// Four ASCII bytes as four UTF-16 units, in memory order.
uint64_t Widen(uint32_t bytes) {
    uint64_t units = bytes;
    units = (units | (units << 16)) & 0x0000FFFF0000FFFFu;
    return (units | (units << 8)) & 0x00FF00FF00FF00FFu;
}

// Decodes UTF-8 into `name` as base::Utf8ToUtf16 does; false, with `name` of no
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
            name = base::Utf8ToUtf16(std::string_view(bytes, length));
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

}  // namespace

DirSearch::~DirSearch() {
    if (handle_) closedir(static_cast<DIR*>(handle_));
}

bool DirSearch::OpenListing(const char16_t* pattern, DirEntry& entry) {
    if (handle_) closedir(static_cast<DIR*>(handle_));
    std::u16string_view text(pattern);
    constexpr std::u16string_view kAll = u"\\*.*";
    if (text.size() >= kAll.size() && text.substr(text.size() - kAll.size()) == kAll)
        text.remove_suffix(kAll.size() - 1);  // keep the separator: "\*.*" on "/" lists the root
    // A bare "*.*" would list the current folder; no caller means that.
    handle_ = text == u"*.*" ? nullptr : opendir(PosixPath(text));
    if (!handle_) {
        const int error = text == u"*.*" ? ENOENT : errno;
        end_ = error == ENOENT || error == ENOTDIR ? ListEnd::notFound : ListEnd::unreadable;
        return false;
    }
    return NextListed(entry);
}

bool DirSearch::NextListed(DirEntry& entry) {
    DIR* dir = static_cast<DIR*>(handle_);
    errno = 0;
    dirent* found = readdir(dir);
    if (!found) {
        // A listing cut off by an error is not a complete one.
        end_ = errno ? ListEnd::unreadable : ListEnd::complete;
        return false;
    }
    SetName(entry.name, found->d_name);
    struct stat info;
    const int fd = dirfd(dir);
    // Only a link costs a second look, and only where the file system does
    // not tell the kind of an entry.
    bool link = found->d_type == DT_LNK;
    if (found->d_type == DT_UNKNOWN && fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
        link = S_ISLNK(info.st_mode);
    // Links are followed, as the Windows listing reports a linked folder as a
    // folder; a dangling link is listed as itself.
    if (fstatat(fd, found->d_name, &info, 0) != 0 &&
        fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        info = {};
    entry.directory = S_ISDIR(info.st_mode);
    entry.link = link && entry.directory;
    entry.target = entry.link ? IdOf(info) : DirId{};
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.written = Ticks(info.st_mtim);
    return true;
}

int64_t LocalOffset() {
    const time_t now = time(nullptr);
    tm parts{};
    return localtime_r(&now, &parts) ? int64_t{parts.tm_gmtoff} * 10000000 : 0;
}

bool IdentifyDir(std::u16string_view path, DirId& id) {
    struct stat info;
    if (path.empty() || stat(ToPosixPath(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    id = IdOf(info);
    return true;
}

}  // namespace platform
