#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/text.h"
#include "platform/dir_search.h"
#include "platform/posix_path.h"

namespace platform {
namespace {

constexpr int64_t kTicksFrom1601To1970 = 116444736000000000;

uint64_t Ticks(const timespec& at) {
    // tv_nsec lies in [0, 10^9): dividing it unsigned is the same and cheaper.
    return static_cast<uint64_t>(static_cast<int64_t>(at.tv_sec) * 10000000 +
                                 kTicksFrom1601To1970) +
           static_cast<uint64_t>(at.tv_nsec) / 100;
}

DirId IdOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// Decodes UTF-8 into `out`, which has room for `length` units, as
// base::Utf8ToUtf16 does; the number of units, or none at the first sequence
// that is not well-formed.
std::optional<size_t> DecodeWellFormed(const unsigned char* bytes, size_t length, char16_t* out) {
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
            return std::nullopt;
        }
        if (n > length - i) return std::nullopt;
        for (size_t k = 1; k < n; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        if (c < 0x10000) {
            out[units++] = static_cast<char16_t>(c);
        } else {
            c -= 0x10000;
            out[units++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[units++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
        i += n;
    }
    return units;
}

// Names that are not ASCII: as base::Utf8ToUtf16 decodes them, into `out`,
// which has room for `length` units; the number of units.
size_t Decode(const char* bytes, size_t length, char16_t* out) {
    if (auto units = DecodeWellFormed(reinterpret_cast<const unsigned char*>(bytes), length, out))
        return *units;
    // Ill-formed names take the general decoder with its escapes, which
    // give one unit for each byte at most.
    const std::u16string escaped = base::Utf8ToUtf16(std::string_view(bytes, length));
    std::memcpy(out, escaped.data(), escaped.size() * sizeof(char16_t));
    return escaped.size();
}

// Copies `length` ASCII bytes into `out` as UTF-16 units; false, with `out`
// of no use, where a byte is not ASCII. Reads and writes only within the
// name, sixteen bytes at a time where the processor can.
[[gnu::always_inline]] inline bool WidenAscii(const char* bytes, size_t length, char16_t* out) {
#if defined(__SSE2__)
    if (length >= 8) {
        const __m128i zero = _mm_setzero_si128();
        auto widen = [&](size_t at, size_t count) {
            const __m128i in = count == 16
                                   ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at))
                                   : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + at));
            if (_mm_movemask_epi8(in)) return false;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(in, zero));
            if (count == 16)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8),
                                 _mm_unpackhi_epi8(in, zero));
            return true;
        };
        // Whole steps, then the last step again over the name's end; the
        // overlap writes the same units twice.
        const size_t step = length >= 16 ? 16 : 8;
        for (size_t at = 0; at + step < length; at += step)
            if (!widen(at, step)) return false;
        return widen(length - step, step);
    }
#endif
    unsigned char high = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        high |= byte;
        out[i] = byte;
    }
    return high < 0x80;
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

// The entry's name in UTF-16, widened in place into `names`. This and the
// helpers of the listing loop are inlined: a call for each entry would cost
// about as much as the work.
[[gnu::always_inline]] inline std::u16string_view PutName(NameBuffer& names, const char* bytes) {
    const size_t length = std::strlen(bytes);
    char16_t* out = names.Room(length);  // never more units than bytes
    size_t units = length;
    if (!WidenAscii(bytes, length, out)) units = Decode(bytes, length, out);
    out[units] = u'\0';
    return {out, units};
}

}  // namespace

struct DirSearch::Listing {
    explicit Listing(DIR* opened) : dir(opened), fd(dirfd(opened)) {}
    ~Listing() { closedir(dir); }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    DIR* dir;
    int fd;
    int* error = &errno;  // the C library's, looked up once per listing
};

void DirSearch::Close::operator()(Listing* listing) const {
    delete listing;
}

bool DirSearch::OpenListing(const char16_t* pattern, DirEntry& entry) {
    listing_.reset();
    std::u16string_view text(pattern);
    constexpr std::u16string_view kAll = u"\\*.*";
    if (text.size() >= kAll.size() && text.substr(text.size() - kAll.size()) == kAll)
        text.remove_suffix(kAll.size() - 1);  // keep the separator: "\*.*" on "/" lists the root
    // A bare "*.*" would list the current folder; no caller means that.
    DIR* dir = text == u"*.*" ? nullptr : opendir(PosixPath(text));
    if (!dir) {
        const int error = text == u"*.*" ? ENOENT : errno;
        end_ = error == ENOENT || error == ENOTDIR ? ListEnd::notFound
               : error == EACCES || error == EPERM ? ListEnd::denied
                                                   : ListEnd::unreadable;
        return false;
    }
    listing_.reset(new Listing(dir));
    FileRoom none;
    return NextListed(none, entry);
}

namespace {

// The facts of the entry `found`, links followed, as the Windows listing
// reports a linked folder as a folder; a dangling link is listed as itself.
// True when the entry is a link.
[[gnu::always_inline]] inline bool Look(int fd, const dirent& found, struct stat& info) {
    // Only a link costs a second look, and only where the file system does
    // not tell the kind of an entry.
    bool link = found.d_type == DT_LNK;
    if (found.d_type == DT_UNKNOWN && fstatat(fd, found.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
        link = S_ISLNK(info.st_mode);
    if (fstatat(fd, found.d_name, &info, 0) != 0 &&
        fstatat(fd, found.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        info = {};
    return link;
}

[[gnu::always_inline]] inline void Fill(DirEntry& entry, std::u16string_view name,
                                        const struct stat& info, bool link) {
    entry.name = name;
    entry.directory = S_ISDIR(info.st_mode);
    entry.link = link && entry.directory;
    entry.target = entry.link ? IdOf(info) : DirId{};
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.written = Ticks(info.st_mtim);
}

}  // namespace

bool DirSearch::NextListed(FileRoom& room, DirEntry& entry) {
    Listing& listing = *listing_;
    NameBuffer& names = *names_;
    for (;;) {
        *listing.error = 0;
        const dirent* found = readdir(listing.dir);
        if (!found) {
            // A listing cut off by an error is not a complete one.
            end_ = *listing.error ? ListEnd::unreadable : ListEnd::complete;
            return false;
        }
        const std::u16string_view name = PutName(names, found->d_name);
        struct stat info;
        const bool link = Look(listing.fd, *found, info);
        if (S_ISDIR(info.st_mode) || !room.Takes(names)) {
            Fill(entry, name, info, link);
            return true;
        }
        // A name of at most NAME_MAX bytes has no more units.
        Take(room, {static_cast<uint64_t>(info.st_size), Ticks(info.st_mtim),
                    static_cast<uint16_t>(name.size())});
    }
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
