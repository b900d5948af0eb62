// Text services on Linux: the system code page is UTF-8; case mapping works on
// code points with a table of the Latin, Greek and Cyrillic letters, so it does
// not depend on which locales are installed.
#include "text.h"

namespace znx {
namespace {

char32_t Upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 0) ? c - 1 : c;
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return (c % 2 == 1) ? c - 1 : c;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c == 0x3C2) return 0x3A3;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 1) ? c + 1 : c;
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return (c % 2 == 0) ? c + 1 : c;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

// Decodes one UTF-8 sequence at text[i]; on an invalid sequence returns false
// and the caller copies the byte unchanged.
bool Decode(std::string_view text, size_t i, char32_t& cp, size_t& len) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) { cp = b; len = 1; return true; }
    if (b >= 0xC2 && b <= 0xDF) { cp = b & 0x1Fu; len = 2; }
    else if (b >= 0xE0 && b <= 0xEF) { cp = b & 0x0Fu; len = 3; }
    else if (b >= 0xF0 && b <= 0xF4) { cp = b & 0x07u; len = 4; }
    else return false;
    if (i + len > text.size()) return false;
    for (size_t k = 1; k < len; ++k) {
        unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (t & 0x3Fu);
    }
    return true;
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t len;
        if (!Decode(text, i, cp, len)) {
            out += text[i++];
            continue;
        }
        if (len == 1) out += static_cast<char>(map(cp));
        else AppendUtf8(out, map(cp));
        i += len;
    }
    return out;
}

} // namespace

std::string SysText(std::string_view utf8) { return std::string(utf8); }
std::string SystemCodePage() { return "UTF-8"; }

std::string AnsiUpperCase(std::string_view text) { return MapCase(text, Upper); }
std::string AnsiLowerCase(std::string_view text) { return MapCase(text, Lower); }

int AnsiCompareText(std::string_view a, std::string_view b) {
    return AnsiUpperCase(a).compare(AnsiUpperCase(b));
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    // Fast path for the common case of ASCII text.
    if (a.size() == b.size()) {
        bool ascii = true;
        for (size_t i = 0; i < a.size() && ascii; ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if ((x | y) & 0x80) { ascii = false; break; }
            if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 0x20);
            if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 0x20);
            if (x != y) return false;
        }
        if (ascii) return true;
    }
    return AnsiUpperCase(a) == AnsiUpperCase(b);
}

} // namespace znx

#include <langinfo.h>
#include <locale.h>

namespace znx {
namespace {
char g_decimalOverride = '\0';
}
void SetDecimalSeparatorOverride(char separator) { g_decimalOverride = separator; }
char DecimalSeparator() {
    if (g_decimalOverride) return g_decimalOverride;
    static const char sep = [] {
        locale_t loc = newlocale(LC_NUMERIC_MASK, "", nullptr);
        if (!loc) return '.';
        const char* radix = nl_langinfo_l(RADIXCHAR, loc);
        char c = (radix && radix[0] && !radix[1]) ? radix[0] : '.';
        freelocale(loc);
        return c;
    }();
    return sep;
}
} // namespace znx

namespace znx {
std::string SysTextToUtf8(std::string_view sysText) { return std::string(sysText); }
} // namespace znx
