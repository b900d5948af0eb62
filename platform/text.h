#pragma once
// Text services: 8-bit strings in the system code page (UTF-8 on Linux, the
// ANSI code page on Windows), case mapping and comparison, trimming, Format.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace znx {

// Fixed texts are written in UTF-8 in the sources; SysText converts one to the
// system code page (identity where that is UTF-8).
std::string SysText(std::string_view utf8);

// Name of the system code page ("UTF-8", "1250", ...).
std::string SystemCodePage();

// Locale-aware case mapping of 8-bit text. Letters of the Latin, Greek and
// Cyrillic alphabets fold (Č/č, Ř/ř, Ž/ž, Ů/ů ...); other bytes stay as they are.
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
// Case-insensitive comparison consistent with AnsiUpperCase.
bool AnsiSameText(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);

// Folding of the letters a to z only, as the system does for keywords.
std::string UpperCaseAZ(std::string_view text);
bool SameTextAZ(std::string_view a, std::string_view b);

// Leading and trailing blanks and control characters (codes 0 to 32) removed.
std::string Trim(std::string_view text);

// Shared helper: the text between one enclosing pair of double quotes, when the
// text is at least two characters long and starts and ends with one.
std::string Unquote(std::string_view text);

// The system's "%s" / "%d" / "%u" / "%%" formatting of fixed texts.
class FormatArg {
public:
    FormatArg(std::string_view s) : text_(s), isText_(true) {}
    FormatArg(const std::string& s) : text_(s), isText_(true) {}
    FormatArg(const char* s) : text_(s), isText_(true) {}
    FormatArg(long long v) : text_(std::to_string(v)) {}
    FormatArg(int v) : text_(std::to_string(v)) {}
    FormatArg(unsigned v) : text_(std::to_string(v)) {}
    FormatArg(unsigned long v) : text_(std::to_string(v)) {}
    FormatArg(long v) : text_(std::to_string(v)) {}
    FormatArg(unsigned long long v) : text_(std::to_string(v)) {}
    const std::string& Text() const { return text_; }
    bool IsText() const { return isText_; }

private:
    std::string text_;
    bool isText_ = false;
};
std::string FormatV(std::string_view format, const std::vector<FormatArg>& args);
template <typename... Args>
std::string Format(std::string_view format, const Args&... args) {
    return FormatV(format, std::vector<FormatArg>{FormatArg(args)...});
}

// UTF-8 and UTF-16. Invalid UTF-8 bytes and unpaired surrogates become
// U+FFFD (bytes that are no sequence pass as their own code point).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Appends the code point in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Integer text as the system reads it: optional sign, decimal, or hexadecimal
// after "$" or "0x"/"0X". False when the text is no valid 32-bit integer.
bool TryStrToInt(std::string_view text, int32_t& value);

} // namespace znx

namespace znx {
// The decimal separator of the user's number format (LC_NUMERIC). Tests may
// pin it with SetDecimalSeparatorOverride ('\0' lifts the override).
char DecimalSeparator();
void SetDecimalSeparatorOverride(char separator);
} // namespace znx

namespace znx {
// The reverse of SysText: text in the system code page as UTF-8 (identity
// where the system code page is UTF-8). Used where text leaves the system
// code page, e.g. for wide-character system calls or for comparing with
// UTF-8 fixed texts.
std::string SysTextToUtf8(std::string_view sysText);
} // namespace znx
