#include "text.h"

#include <cstdlib>
#include <stdexcept>

namespace znx {

std::string UpperCaseAZ(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool SameTextAZ(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}

std::string Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

std::string FormatV(std::string_view format, const std::vector<FormatArg>& args) {
    std::string out;
    out.reserve(format.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        char spec = format[++i];
        if (spec == '%') {
            out += '%';
        } else if (spec == 's' || spec == 'd' || spec == 'u') {
            if (next >= args.size())
                throw std::invalid_argument("Format: too few arguments for \"" +
                                            std::string(format) + "\"");
            out += args[next++].Text();
        } else {
            out += '%';
            out += spec;
        }
    }
    return out;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return false;
    unsigned long long acc = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        acc = acc * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (acc > 0xFFFFFFFFull) return false;
    }
    if (base == 10) {
        if (negative ? acc > 2147483648ull : acc > 2147483647ull) return false;
        long long v = negative ? -static_cast<long long>(acc) : static_cast<long long>(acc);
        value = static_cast<int32_t>(v);
    } else {
        // Hexadecimal covers the whole 32-bit pattern: $FFFFFFFF is -1.
        uint32_t bits = static_cast<uint32_t>(acc);
        if (negative) bits = 0u - bits;
        value = static_cast<int32_t>(bits);
    }
    return true;
}

} // namespace znx
