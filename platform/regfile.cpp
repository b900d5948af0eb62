#include "platform/regfile.h"

#include <cstdio>

#include "platform/error.h"
#include "platform/text.h"

namespace znx {
namespace regfile {
namespace {

std::string Fold(std::string_view Name) { return AnsiUpperCase(Name); }

// ---- UTF-8 / UTF-16 -------------------------------------------------------

// One UTF-8 sequence at Text[i] (shortest form, no surrogates, at most
// U+10FFFF); false when invalid.
bool DecodeUtf8(std::string_view Text, size_t i, char32_t& Cp, size_t& Len) {
    const auto b = static_cast<unsigned char>(Text[i]);
    if (b < 0x80) {
        Cp = b;
        Len = 1;
        return true;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        Cp = b & 0x1Fu;
        Len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        Cp = b & 0x0Fu;
        Len = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
        Cp = b & 0x07u;
        Len = 4;
    } else {
        return false;
    }
    if (i + Len > Text.size()) return false;
    for (size_t k = 1; k < Len; ++k) {
        const auto t = static_cast<unsigned char>(Text[i + k]);
        if ((t & 0xC0) != 0x80) return false;
        Cp = (Cp << 6) | (t & 0x3Fu);
    }
    if ((Len == 3 && Cp < 0x800) || (Len == 4 && (Cp < 0x10000 || Cp > 0x10FFFF))) return false;
    if (Cp >= 0xD800 && Cp <= 0xDFFF) return false;
    return true;
}

void EncodeUtf8(char32_t Cp, std::string& Out) {
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

void PutUnit(char16_t U, std::string& Out) {
    Out += static_cast<char>(U & 0xFF);
    Out += static_cast<char>(U >> 8);
}

void EncodeUtf16(char32_t Cp, std::string& Out) {
    if (Cp < 0x10000) {
        PutUnit(static_cast<char16_t>(Cp), Out);
    } else {
        Cp -= 0x10000;
        PutUnit(static_cast<char16_t>(0xD800 + (Cp >> 10)), Out);
        PutUnit(static_cast<char16_t>(0xDC00 + (Cp & 0x3FF)), Out);
    }
}

bool ValidUtf8(std::string_view Text) {
    for (size_t i = 0; i < Text.size();) {
        char32_t cp;
        size_t len;
        if (!DecodeUtf8(Text, i, cp, len)) return false;
        i += len;
    }
    return true;
}

// 8-bit text of an old-style export: UTF-8 where it is valid, any other byte
// taken as the character of that code (ISO 8859-1).
std::string EightBitToUtf16Le(std::string_view Bytes) {
    std::string out;
    for (size_t i = 0; i < Bytes.size();) {
        char32_t cp;
        size_t len;
        if (DecodeUtf8(Bytes, i, cp, len)) {
            EncodeUtf16(cp, out);
            i += len;
        } else {
            PutUnit(static_cast<unsigned char>(Bytes[i]), out);
            ++i;
        }
    }
    return out;
}

// ---- reading ---------------------------------------------------------------

const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";

struct TLine {
    std::string Text;
    int Number;
};

class TParser {
public:
    TParser(const std::string& Bytes, const std::string& Source) : FSource(Source) { Split(Decode(Bytes)); }

    std::vector<TRegChange> Parse() {
        std::vector<TRegChange> changes;
        size_t i = 0;
        while (i < FLines.size() && Trim(FLines[i].Text).empty()) ++i;
        if (i == FLines.size()) return changes; // nothing but blank lines
        const std::string header = Trim(FLines[i].Text);
        if (SameTextAZ(header, kHeader5)) FOld = false;
        else if (SameTextAZ(header, kHeader4)) FOld = true;
        else Fail(FLines[i].Number, "not a registry export (the first line is not \"" + std::string(kHeader5) +
                                        "\" or \"" + kHeader4 + "\")");
        bool haveKey = false, keyDeleted = false;
        TRootKey root = TRootKey::HKEY_CURRENT_USER;
        std::string key;
        for (++i; i < FLines.size(); ++i) {
            const TLine& line = FLines[i];
            std::string_view t = TrimLeftView(line.Text);
            if (t.empty() || t[0] == ';') continue;
            if (t[0] == '[') {
                ParseKeyLine(line, root, key, keyDeleted);
                haveKey = true;
                TRegChange c;
                c.Kind = keyDeleted ? TRegChange::ckDeleteKey : TRegChange::ckCreateKey;
                c.Root = root;
                c.Key = key;
                c.Line = line.Number;
                changes.push_back(std::move(c));
                continue;
            }
            if (t[0] == '"' || t[0] == '@') {
                if (!haveKey) Fail(line.Number, "a value before the first [key] line");
                TRegChange c = ParseValueLine(i);
                if (keyDeleted) continue; // values of a deleted key are ignored
                c.Root = root;
                c.Key = key;
                changes.push_back(std::move(c));
                continue;
            }
            Fail(line.Number, "unrecognised line");
        }
        return changes;
    }

private:
    [[noreturn]] void Fail(int Line, const std::string& What) const {
        throw Error(Format("Registry file \"%s\", line %d: %s", FSource, Line, What));
    }

    static std::string_view TrimLeftView(std::string_view s) {
        size_t b = 0;
        while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
        return s.substr(b);
    }
    static std::string_view TrimRightView(std::string_view s) {
        size_t e = s.size();
        while (e > 0 && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
        return s.substr(0, e);
    }

    // The file's text as UTF-8.
    std::string Decode(const std::string& Bytes) {
        const auto b0 = Bytes.size() > 0 ? static_cast<unsigned char>(Bytes[0]) : 0;
        const auto b1 = Bytes.size() > 1 ? static_cast<unsigned char>(Bytes[1]) : 0;
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
            const bool le = b0 == 0xFF;
            std::string out;
            int line = 1;
            size_t i = 2;
            auto unit = [&](size_t at) -> char16_t {
                const auto lo = static_cast<unsigned char>(Bytes[at + (le ? 0 : 1)]);
                const auto hi = static_cast<unsigned char>(Bytes[at + (le ? 1 : 0)]);
                return static_cast<char16_t>(lo | (hi << 8));
            };
            for (; i + 1 < Bytes.size(); i += 2) {
                char32_t u = unit(i);
                if (u >= 0xD800 && u <= 0xDBFF) {
                    if (i + 3 >= Bytes.size()) Fail(line, "an unpaired UTF-16 surrogate");
                    char32_t lo = unit(i + 2);
                    if (lo < 0xDC00 || lo > 0xDFFF) Fail(line, "an unpaired UTF-16 surrogate");
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                } else if (u >= 0xDC00 && u <= 0xDFFF) {
                    Fail(line, "an unpaired UTF-16 surrogate");
                }
                if (u == '\n') ++line;
                EncodeUtf8(u, out);
            }
            if (i < Bytes.size()) Fail(line, "the UTF-16 text ends in the middle of a character");
            return out;
        }
        if (Bytes.size() >= 3 && b0 == 0xEF && b1 == 0xBB && static_cast<unsigned char>(Bytes[2]) == 0xBF)
            return Bytes.substr(3);
        return Bytes;
    }

    void Split(const std::string& Text) {
        int number = 1;
        size_t start = 0;
        while (start <= Text.size()) {
            size_t end = Text.find('\n', start);
            if (end == std::string::npos) end = Text.size();
            std::string line = Text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!ValidUtf8(line)) Fail(number, "the text is neither UTF-8 nor UTF-16 with a byte order mark");
            FLines.push_back({std::move(line), number});
            ++number;
            if (end == Text.size()) break;
            start = end + 1;
        }
    }

    void ParseKeyLine(const TLine& Line, TRootKey& Root, std::string& Key, bool& Deleted) const {
        std::string_view t = TrimRightView(TrimLeftView(Line.Text));
        if (t.size() < 2 || t.back() != ']') Fail(Line.Number, "a [key] line without its closing \"]\"");
        std::string_view inner = t.substr(1, t.size() - 2);
        Deleted = !inner.empty() && inner[0] == '-';
        if (Deleted) inner.remove_prefix(1);
        const size_t slash = inner.find('\\');
        const std::string_view rootName = inner.substr(0, slash);
        if (!ParseRootName(rootName, Root))
            Fail(Line.Number, "unknown root key \"" + std::string(rootName) + "\"");
        Key = slash == std::string_view::npos ? std::string() : JoinKeyPath(SplitKeyPath(inner.substr(slash + 1)));
        if (Deleted && Key.empty()) Fail(Line.Number, "a root key cannot be deleted");
    }

    // A quoted text starting at s[i] (the opening quote); i ends after the
    // closing quote. "\\" is a backslash and "\"" a quote; any other
    // backslash stays as it is.
    bool ParseQuoted(std::string_view s, size_t& i, std::string& Out) const {
        ++i;
        while (i < s.size()) {
            const char c = s[i];
            if (c == '"') {
                ++i;
                return true;
            }
            if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
                Out += s[i + 1];
                i += 2;
                continue;
            }
            Out += c;
            ++i;
        }
        return false;
    }

    static bool HexDigit(char c, unsigned& v) {
        if (c >= '0' && c <= '9') v = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') v = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') v = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        return true;
    }

    static bool StartsWithAZ(std::string_view s, std::string_view prefix) {
        return s.size() >= prefix.size() && SameTextAZ(s.substr(0, prefix.size()), prefix);
    }

    TRegChange ParseValueLine(size_t& Index) const {
        const TLine& line = FLines[Index];
        const std::string_view s = TrimLeftView(line.Text);
        TRegChange c;
        c.Line = line.Number;
        size_t i = 0;
        if (s[0] == '@') {
            i = 1;
        } else if (!ParseQuoted(s, i, c.Name)) {
            Fail(line.Number, "a value name without its closing quote");
        }
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size() || s[i] != '=') Fail(line.Number, "\"=\" expected after the value name");
        ++i;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        const std::string_view data = TrimRightView(s.substr(i));
        if (data == "-") {
            c.Kind = TRegChange::ckDeleteValue;
            return c;
        }
        c.Kind = TRegChange::ckSetValue;
        if (!data.empty() && data[0] == '"') {
            size_t j = 0;
            std::string text;
            if (!ParseQuoted(data, j, text)) Fail(line.Number, "a text value without its closing quote");
            if (j != data.size()) Fail(line.Number, "unexpected characters after the closing quote");
            c.RawType = REG_SZ;
            Utf8ToUtf16Le(text, c.Data); // lines are valid UTF-8
            c.Data.append(2, '\0');
            return c;
        }
        if (StartsWithAZ(data, "dword:")) {
            const std::string d = Trim(data.substr(6));
            if (d.empty() || d.size() > 8) Fail(line.Number, "dword: needs one to eight hexadecimal digits");
            uint32_t v = 0;
            for (char ch : d) {
                unsigned digit;
                if (!HexDigit(ch, digit)) Fail(line.Number, "dword: needs one to eight hexadecimal digits");
                v = (v << 4) | digit;
            }
            c.RawType = REG_DWORD;
            for (int k = 0; k < 4; ++k) c.Data += static_cast<char>((v >> (8 * k)) & 0xFF);
            return c;
        }
        if (StartsWithAZ(data, "hex")) {
            size_t j = 3;
            uint32_t type = REG_BINARY;
            if (j < data.size() && data[j] == '(') {
                size_t close = data.find(')', j);
                if (close == std::string_view::npos || close == j + 1 || close - j - 1 > 8)
                    Fail(line.Number, "hex(N): needs a hexadecimal type number");
                type = 0;
                for (size_t k = j + 1; k < close; ++k) {
                    unsigned digit;
                    if (!HexDigit(data[k], digit)) Fail(line.Number, "hex(N): needs a hexadecimal type number");
                    type = (type << 4) | digit;
                }
                j = close + 1;
            }
            if (j >= data.size() || data[j] != ':') Fail(line.Number, "\":\" expected after hex");
            std::string list(data.substr(j + 1));
            // Backslash continuations: the list goes on on the next line.
            for (;;) {
                const std::string_view l = TrimRightView(list);
                if (l.empty() || l.back() != '\\') break;
                list.resize(l.size() - 1);
                if (Index + 1 >= FLines.size()) Fail(line.Number, "a continued hex list ends with the file");
                ++Index;
                list += TrimLeftView(FLines[Index].Text);
            }
            c.RawType = type;
            c.Data = ParseHexList(list, line.Number);
            if (FOld && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
                c.Data = EightBitToUtf16Le(c.Data); // old exports hold these as 8-bit text
            return c;
        }
        Fail(line.Number, "unrecognised value data (expected \"text\", dword:, hex: or -)");
    }

    std::string ParseHexList(const std::string& List, int Line) const {
        std::string out;
        const std::string all = Trim(List);
        if (all.empty()) return out;
        size_t start = 0;
        for (;;) {
            size_t comma = all.find(',', start);
            const std::string token = Trim(std::string_view(all).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start));
            const bool last = comma == std::string::npos;
            if (token.empty()) {
                if (last && start > 0) break; // a trailing comma
                Fail(Line, "an empty byte in a hex list");
            }
            unsigned hi, lo;
            if (token.size() == 1 && HexDigit(token[0], lo)) {
                out += static_cast<char>(lo);
            } else if (token.size() == 2 && HexDigit(token[0], hi) && HexDigit(token[1], lo)) {
                out += static_cast<char>((hi << 4) | lo);
            } else {
                Fail(Line, "\"" + token + "\" is not a hexadecimal byte");
            }
            if (last) break;
            start = comma + 1;
        }
        return out;
    }

    std::string FSource;
    std::vector<TLine> FLines;
    bool FOld = false;
};

// ---- writing ---------------------------------------------------------------

std::string Escape(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (char c : Text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The text of a REG_SZ value when it can be written as "text": one NUL at
// the end, valid UTF-16, no control characters but the tab.
bool PlainText(const std::string& Data, std::string& Text) {
    if (Data.size() < 2 || Data.size() % 2 != 0) return false;
    if (Data[Data.size() - 1] != '\0' || Data[Data.size() - 2] != '\0') return false;
    if (!Utf16LeToUtf8(std::string_view(Data).substr(0, Data.size() - 2), Text)) return false;
    for (char c : Text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) return false;
    }
    return true;
}

void WriteHexList(std::string& Out, size_t Column, const std::string& Data) {
    static const char* const digits = "0123456789abcdef";
    for (size_t i = 0; i < Data.size(); ++i) {
        const bool last = i + 1 == Data.size();
        if (Column + (last ? 2 : 3) > 78) {
            Out += "\\\n  ";
            Column = 2;
        }
        const auto b = static_cast<unsigned char>(Data[i]);
        Out += digits[b >> 4];
        Out += digits[b & 15];
        Column += 2;
        if (!last) {
            Out += ',';
            ++Column;
        }
    }
}

void WriteValue(std::string& Out, const TValue& V) {
    const size_t lineStart = Out.size();
    if (V.Name.empty()) Out += '@';
    else Out += "\"" + Escape(V.Name) + "\"";
    Out += '=';
    std::string text;
    if (V.Type == REG_SZ && PlainText(V.Data, text)) {
        Out += "\"" + Escape(text) + "\"";
    } else if (V.Type == REG_DWORD && V.Data.size() == 4) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(V.Data[static_cast<size_t>(k)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v);
        Out += buf;
    } else {
        if (V.Type == REG_BINARY) {
            Out += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", V.Type);
            Out += buf;
        }
        WriteHexList(Out, Out.size() - lineStart, V.Data);
    }
    Out += '\n';
}

void WriteKey(std::string& Out, const TKeyNode& Node, const std::string& Path, bool IsTop) {
    if (!IsTop || !Node.Values().empty()) {
        Out += "[" + Path + "]\n";
        for (const TValue& v : Node.Values()) WriteValue(Out, v);
        Out += '\n';
    }
    for (size_t i = 0; i < Node.SubKeyCount(); ++i) {
        const TKeyNode& sub = Node.SubKey(i);
        WriteKey(Out, sub, Path + "\\" + sub.Name(), false);
    }
}

} // namespace

// ---- the tree --------------------------------------------------------------

TKeyNode* TKeyNode::FindSubKey(std::string_view Name) {
    auto it = FKeyIndex.find(Fold(Name));
    return it == FKeyIndex.end() ? nullptr : FSubKeys[it->second].get();
}

const TKeyNode* TKeyNode::FindSubKey(std::string_view Name) const {
    auto it = FKeyIndex.find(Fold(Name));
    return it == FKeyIndex.end() ? nullptr : FSubKeys[it->second].get();
}

TKeyNode& TKeyNode::AddSubKey(const std::string& Name, bool& Created) {
    std::string folded = Fold(Name);
    auto it = FKeyIndex.find(folded);
    if (it != FKeyIndex.end()) return *FSubKeys[it->second];
    FKeyIndex.emplace(std::move(folded), FSubKeys.size());
    FSubKeys.push_back(std::make_unique<TKeyNode>(Name));
    Created = true;
    return *FSubKeys.back();
}

bool TKeyNode::DeleteSubKey(std::string_view Name) {
    auto it = FKeyIndex.find(Fold(Name));
    if (it == FKeyIndex.end()) return false;
    FSubKeys.erase(FSubKeys.begin() + static_cast<std::ptrdiff_t>(it->second));
    FKeyIndex.clear();
    for (size_t i = 0; i < FSubKeys.size(); ++i) FKeyIndex.emplace(Fold(FSubKeys[i]->Name()), i);
    return true;
}

const TValue* TKeyNode::FindValue(std::string_view Name) const {
    auto it = FValueIndex.find(Fold(Name));
    return it == FValueIndex.end() ? nullptr : &FValues[it->second];
}

bool TKeyNode::SetValue(const std::string& Name, uint32_t Type, const std::string& Data) {
    std::string folded = Fold(Name);
    auto it = FValueIndex.find(folded);
    if (it != FValueIndex.end()) {
        TValue& v = FValues[it->second];
        if (v.Type == Type && v.Data == Data) return false;
        v.Type = Type;
        v.Data = Data;
        return true;
    }
    FValueIndex.emplace(std::move(folded), FValues.size());
    FValues.push_back({Name, Type, Data});
    return true;
}

bool TKeyNode::DeleteValue(std::string_view Name) {
    auto it = FValueIndex.find(Fold(Name));
    if (it == FValueIndex.end()) return false;
    FValues.erase(FValues.begin() + static_cast<std::ptrdiff_t>(it->second));
    FValueIndex.clear();
    for (size_t i = 0; i < FValues.size(); ++i) FValueIndex.emplace(Fold(FValues[i].Name), i);
    return true;
}

const TKeyNode* THive::Find(const std::vector<std::string>& Path) const {
    const TKeyNode* node = &FTop;
    for (const std::string& part : Path) {
        node = node->FindSubKey(part);
        if (!node) return nullptr;
    }
    return node;
}

TKeyNode* THive::Find(const std::vector<std::string>& Path) {
    return const_cast<TKeyNode*>(static_cast<const THive*>(this)->Find(Path));
}

TKeyNode& THive::Create(const std::vector<std::string>& Path, bool& Created) {
    TKeyNode* node = &FTop;
    for (const std::string& part : Path) node = &node->AddSubKey(part, Created);
    return *node;
}

bool THive::Delete(const std::vector<std::string>& Path) {
    if (Path.empty()) return false;
    std::vector<std::string> parent(Path.begin(), Path.end() - 1);
    TKeyNode* node = Find(parent);
    return node && node->DeleteSubKey(Path.back());
}

bool THive::Apply(const TRegChange& Change) {
    const std::vector<std::string> path = SplitKeyPath(Change.Key);
    bool changed = false;
    switch (Change.Kind) {
    case TRegChange::ckCreateKey:
        Create(path, changed);
        break;
    case TRegChange::ckDeleteKey:
        changed = Delete(path);
        break;
    case TRegChange::ckSetValue:
        changed = Create(path, changed).SetValue(Change.Name, Change.RawType, Change.Data) || changed;
        break;
    case TRegChange::ckDeleteValue:
        if (TKeyNode* node = Find(path)) changed = node->DeleteValue(Change.Name);
        break;
    }
    return changed;
}

// ---- helpers ---------------------------------------------------------------

std::vector<std::string> SplitKeyPath(std::string_view Path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= Path.size()) {
        size_t end = Path.find('\\', start);
        if (end == std::string_view::npos) end = Path.size();
        if (end > start) parts.emplace_back(Path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string JoinKeyPath(const std::vector<std::string>& Parts) {
    std::string out;
    for (const std::string& p : Parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

bool ValueNameStorable(std::string_view Name) {
    return ValidUtf8(Name) && Name.find('\n') == std::string_view::npos &&
           Name.find('\r') == std::string_view::npos;
}

bool KeyNameStorable(std::string_view Name) {
    return !Name.empty() && ValueNameStorable(Name) && Name.find('\\') == std::string_view::npos;
}

bool ParseRootName(std::string_view Name, TRootKey& Root) {
    if (SameTextAZ(Name, "HKEY_LOCAL_MACHINE") || SameTextAZ(Name, "HKLM")) Root = TRootKey::HKEY_LOCAL_MACHINE;
    else if (SameTextAZ(Name, "HKEY_CURRENT_USER") || SameTextAZ(Name, "HKCU")) Root = TRootKey::HKEY_CURRENT_USER;
    else if (SameTextAZ(Name, "HKEY_CLASSES_ROOT") || SameTextAZ(Name, "HKCR")) Root = TRootKey::HKEY_CLASSES_ROOT;
    else return false;
    return true;
}

std::unique_ptr<THive> ReadHive(const std::string& Bytes, const std::string& FileName, TRootKey Root) {
    auto hive = std::make_unique<THive>(Root);
    for (const TRegChange& c : ParseRegistryExport(Bytes, FileName)) {
        if (c.Root != Root)
            throw Error(Format("Registry file \"%s\", line %d: %s", FileName, c.Line,
                               "a key outside " + RootKeyName(Root)));
        hive->Apply(c);
    }
    return hive;
}

std::string WriteHive(const THive& Hive) {
    std::string out = std::string(kHeader5) + "\n\n";
    WriteKey(out, Hive.Top(), RootKeyName(Hive.Root()), true);
    return out;
}

bool Utf8ToUtf16Le(std::string_view Text, std::string& Bytes) {
    Bytes.clear();
    Bytes.reserve(Text.size() * 2);
    for (size_t i = 0; i < Text.size();) {
        char32_t cp;
        size_t len;
        if (!DecodeUtf8(Text, i, cp, len)) return false;
        EncodeUtf16(cp, Bytes);
        i += len;
    }
    return true;
}

bool Utf16LeToUtf8(std::string_view Bytes, std::string& Text) {
    Text.clear();
    if (Bytes.size() % 2 != 0) return false;
    auto unit = [&](size_t at) -> char32_t {
        return static_cast<unsigned char>(Bytes[at]) | (static_cast<unsigned char>(Bytes[at + 1]) << 8);
    };
    for (size_t i = 0; i < Bytes.size(); i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= Bytes.size()) return false;
            const char32_t lo = unit(i + 2);
            if (lo < 0xDC00 || lo > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
        EncodeUtf8(u, Text);
    }
    return true;
}

} // namespace regfile

std::vector<TRegChange> ParseRegistryExport(const std::string& Bytes, const std::string& SourceName) {
    return regfile::TParser(Bytes, SourceName).Parse();
}

std::string RegStringFromData(const std::string& Data) {
    // Up to the first NUL character; an unpaired surrogate (which no text can
    // hold) becomes U+FFFD, an odd last byte is dropped.
    std::string text;
    auto unit = [&](size_t k) -> char32_t {
        return static_cast<unsigned char>(Data[2 * k]) | (static_cast<unsigned char>(Data[2 * k + 1]) << 8);
    };
    const size_t n = Data.size() / 2;
    for (size_t k = 0; k < n; ++k) {
        char32_t u = unit(k);
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        regfile::EncodeUtf8(u, text);
    }
    return SysText(text); // the system code page (identity where that is UTF-8)
}

std::string RegDataFromString(const std::string& Text) {
    std::string data;
    if (!regfile::Utf8ToUtf16Le(SysTextToUtf8(Text), data)) {
        // Not UTF-8: each byte stands for the character of that code.
        data.clear();
        for (char c : Text) {
            data += c;
            data += '\0';
        }
    }
    data.append(2, '\0');
    return data;
}

std::string RootKeyName(TRootKey Root) {
    switch (Root) {
    case TRootKey::HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case TRootKey::HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case TRootKey::HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    }
    return {};
}

} // namespace znx
