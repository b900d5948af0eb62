// Text services on Windows: 8-bit text is in the ANSI code page (GetACP).
// Case mapping and comparison are the system's own (CharUpperBuffA,
// CharLowerBuffA, CompareStringA), so letters fold as Windows folds them in
// that code page (Č/č, Ř/ř, Ž/ž in Windows-1250).
#include "text.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace znx {
namespace {

std::wstring ToWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        throw std::length_error("text too long for conversion");
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string FromWide(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) & 0x80) return false;
    return true;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() > static_cast<size_t>(std::numeric_limits<int>::max()) ||
        b.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        throw std::length_error("text too long for comparison");
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r - CSTR_EQUAL; // CSTR_LESS_THAN / CSTR_EQUAL / CSTR_GREATER_THAN -> -1 / 0 / 1
}

} // namespace

std::string SysText(std::string_view utf8) {
    if (IsAscii(utf8) || GetACP() == CP_UTF8) return std::string(utf8);
    return FromWide(ToWide(utf8, CP_UTF8), CP_ACP);
}

std::string SysTextToUtf8(std::string_view sysText) {
    if (IsAscii(sysText) || GetACP() == CP_UTF8) return std::string(sysText);
    return FromWide(ToWide(sysText, CP_ACP), CP_UTF8);
}

std::string SystemCodePage() {
    const UINT cp = GetACP();
    return cp == CP_UTF8 ? std::string("UTF-8") : std::to_string(cp);
}

std::string AnsiUpperCase(std::string_view text) {
    std::string out(text);
    if (!out.empty()) CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string AnsiLowerCase(std::string_view text) {
    std::string out(text);
    if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) { return CompareIgnoringCase(a, b); }

bool AnsiSameText(std::string_view a, std::string_view b) { return CompareIgnoringCase(a, b) == 0; }

namespace {
char g_decimalOverride = '\0';
}
void SetDecimalSeparatorOverride(char separator) { g_decimalOverride = separator; }
char DecimalSeparator() {
    if (g_decimalOverride) return g_decimalOverride;
    static const char sep = [] {
        char buf[8] = {};
        const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, sizeof buf);
        return (n == 2 && buf[0]) ? buf[0] : '.'; // one character and its terminator
    }();
    return sep;
}

} // namespace znx
