// Reading a snapshot's texts and arrays where a record may not be set up.
#pragma once

#include <cstdint>
#include <string_view>

#include "monitor/dir.h"
#include "monitor/dyna_array.h"

// A read that failed before it set a record up left its texts null.
inline std::u16string_view TextOf(const char16_t* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

// A record whose read failed before it was set up has no arrays.
inline uint32_t CountOf(const TDynaArray* array) {
    return array ? array->count : 0;
}

// Without moving the array's cursor, which only a walk the user's command
// could see moves.
inline TDir& RecordAt(TDynaArray& array, uint32_t i) {
    return static_cast<TDir*>(array.poi)[i];
}

inline const TDir& RecordAt(const TDynaArray& array, uint32_t i) {
    return static_cast<const TDir*>(array.poi)[i];
}

// The relative path of the folder that holds `path`, empty for the watched
// folder's own entries.
inline std::u16string_view ParentOf(std::u16string_view path) {
    const size_t at = path.rfind(u'\\');
    return at == std::u16string_view::npos ? std::u16string_view() : path.substr(0, at);
}
