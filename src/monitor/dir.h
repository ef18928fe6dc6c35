// A directory of a snapshot, and the same record reused for a file entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TDynaArray;

// A file's time keeps the system's full resolution, which needs 64 bits.
static_assert(sizeof(uintptr_t) >= sizeof(uint64_t), "file times need 64-bit records");

// Four pointer-sized fields. A directory record owns its texts and arrays;
// a file entry owns only its name and keeps its time and size in the other
// three fields.
struct TDir {
    char16_t* dname2;  // directory: path relative to the watched one; file: name
    union {
        char16_t* dname;  // directory: full path
        uintptr_t time;   // file: the last write, 100-ns steps since 1601, UTC
    };
    union {
        TDynaArray* files;  // directory: its file entries
        uintptr_t sizelo;   // file: low 32 bits of the size
    };
    union {
        TDynaArray* dirs;  // directory: its subdirectory records
        uintptr_t sizehi;  // file: high 32 bits of the size
    };
};

// Every text sits in a buffer that starts with its length and a count of the
// names it holds: one for a text of its own, more for a block that holds the names of
// several file entries of one directory, one after another, each with its
// terminator. Reading a directory makes one allocation for many names, not
// one per file. The entries whose names share a block are consecutive in
// their array, in the order of the names, the first one's name opening the
// block; so file records are only ever appended, never deleted or moved.

// Stores a new zero-terminated copy of `text` in `field`; what the field held
// before is not released.
void AllocPChar(char16_t*& field, std::u16string_view text);
// `names` holds `count` names, each with its terminator; returns the first.
char16_t* AllocNames(std::u16string_view names, uint32_t count);
// Frees the buffer that `text` opens: a text of its own, or a whole block;
// null frees nothing.
void FreePChar(char16_t* text);
// How many names the buffer that `text` opens holds, and how many text units
// with their terminators.
uint32_t NamesAt(const char16_t* text);
uint32_t UnitsAt(const char16_t* text);
// Whether the keys of the array whose first record's key is `text` are known
// to be all different. The comparison proves it once and marks it; the next
// snapshot of an unchanged directory inherits the mark, and comparing it then
// needs no proof. Records of a snapshot never change after its read, so a
// mark stays true.
bool KeysDistinct(const char16_t* text);
void MarkKeysDistinct(char16_t* text);

// A walk over directory records meets each record's texts and arrays at
// unrelated places of the heap, and waits for each; asking for them a few
// records ahead lets those waits overlap. Stage 0 asks for the record's texts
// and array objects, 1 for the arrays' records, 2 for the first file name:
// each stage reads what the one before asked for.
void PrefetchDir(const TDir& dir, int stage);
// Each stage for its record from `next` on, of the `count` at `records`.
inline void PrefetchAhead(const TDir* records, uint32_t next, uint32_t count) {
    for (int stage = 0; stage < 3; ++stage) {
        const uint64_t at = uint64_t{next} + 2 - stage;
        if (at < count) PrefetchDir(records[at], stage);
    }
}

// `text` with a backslash appended unless it is empty or already ends in one.
std::u16string AddBackslash(std::u16string_view text);
