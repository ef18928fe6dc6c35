// The portable build's stand-in for the system's best-fit conversion: exact
// characters first, then the base letter of an accented Latin letter and a
// few look-alike signs, else a question mark.
#include "platform/codepage.h"

namespace platform {
namespace {

// Base letters of U+0100..U+017F.
constexpr char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOoOo??RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

char BestFit(char16_t c) {
    if (c >= 0x100 && c < 0x180) return kLatinExtendedA[c - 0x100];
    switch (c) {
        case 0x2010: case 0x2011: case 0x2012: case 0x2015: case 0x2212: return '-';
        case 0x2032: return '\'';
        case 0x2033: return '"';
        case 0x2044: case 0x2215: return '/';
        default: return '?';
    }
}

}  // namespace

std::string ToWindows1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        int b = Windows1252Byte(c);
        out += b >= 0 ? static_cast<char>(b) : BestFit(c);
    }
    return out;
}

}  // namespace platform
