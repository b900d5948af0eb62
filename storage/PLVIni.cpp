#include "storage/PLVIni.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <algorithm>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace znx {
namespace {

std::vector<TUniqueIniFile*>* g_shared = nullptr; // exists only while it holds objects

// Splits at CR LF, lone CR and lone LF; a NUL ends the text; a last line
// without a line break counts as a line.
TStrings SplitLinesImpl(const std::string& text) {
    TStrings lines;
    size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    size_t start = 0;
    while (start < end) {
        size_t i = start;
        while (i < end && text[i] != '\r' && text[i] != '\n') ++i;
        lines.emplace_back(text, start, i - start);
        if (i < end && text[i] == '\r') ++i;
        else if (i < end && text[i] == '\n') { ++i; start = i; continue; }
        if (i < end && text[i] == '\n') ++i;
        start = i;
    }
    return lines;
}

size_t KeyNameEnd(const std::string& line) { return line.find('='); }

bool IsSectionHeader(const std::string& line) {
    return !line.empty() && line.front() == '[' && line.back() == ']' && line.size() >= 2;
}

// Whole text as a decimal number with the given separator: optional sign,
// digits, optional separator and fraction digits, optional exponent.
bool ParseDecimal(const std::string& text, char separator, double& value) {
    size_t i = 0, n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return false;
    if (i < n && text[i] == separator) {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exp = i;
        while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == exp) return false;
    }
    if (i != n) return false;
    std::string c = text;
    std::replace(c.begin(), c.end(), separator, '.');
    const char* first = c.data() + (c[0] == '+' ? 1 : 0);
    auto res = std::from_chars(first, c.data() + c.size(), value);
    return res.ec == std::errc() && std::isfinite(value);
}

// Civil date <-> days since 1899-12-30.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569; // 1970-01-01 is day 25569
}
void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468 - 25569;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string DateText(TDateTime v) {
    int y, m, d;
    CivilFromDays(static_cast<long long>(std::floor(v)), y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}
std::string TimeText(TDateTime v) {
    long long secs = std::llround((v - std::floor(v)) * 86400.0) % 86400;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}
bool ParseDate(const std::string& s, TDateTime& v) {
    int y, m, d;
    char tail;
    if (std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    v = static_cast<TDateTime>(DaysFromCivil(y, m, d));
    return true;
}
bool ParseTime(const std::string& s, TDateTime& v) {
    int h, mi, se = 0;
    char tail;
    int n = std::sscanf(s.c_str(), "%d:%d:%d%c", &h, &mi, &se, &tail);
    if (n != 2 && n != 3) return false;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59) return false;
    v = (h * 3600 + mi * 60 + se) / 86400.0;
    return true;
}

} // namespace

// ---------------------------------------------------------------- TCustomIniFile

int32_t TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                                    int32_t Default) {
    std::string text = ReadString(Section, Ident, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    int32_t value;
    return TryStrToInt(text, value) ? value : Default;
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
    WriteString(Section, Ident, std::to_string(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
    WriteString(Section, Ident, Value ? "1" : "0");
}

size_t TCustomIniFile::ReadBinaryStream(const std::string& Section, const std::string& Ident,
                                        std::string& Value) {
    std::string text = ReadString(Section, Ident, "");
    Value.clear();
    if (text.size() % 2 != 0) return 0;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned byte;
        auto res = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
        if (res.ec != std::errc() || res.ptr != text.data() + i + 2) {
            Value.clear();
            return 0;
        }
        Value += static_cast<char>(byte);
    }
    return Value.size();
}

void TCustomIniFile::WriteBinaryStream(const std::string& Section, const std::string& Ident,
                                       const std::string& Value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : Value) {
        text += hex[c >> 4];
        text += hex[c & 15];
    }
    WriteString(Section, Ident, text);
}

double TCustomIniFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) {
    double value;
    return ParseDecimal(ReadString(Section, Ident, ""), DecimalSeparator(), value) ? value : Default;
}

void TCustomIniFile::WriteFloat(const std::string& Section, const std::string& Ident, double Value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, Value);
    std::string text(buf, res.ptr);
    std::replace(text.begin(), text.end(), '.', DecimalSeparator());
    WriteString(Section, Ident, text);
}

TDateTime TCustomIniFile::ReadDate(const std::string& Section, const std::string& Ident,
                                   TDateTime Default) {
    TDateTime v;
    return ParseDate(ReadString(Section, Ident, ""), v) ? v : Default;
}

TDateTime TCustomIniFile::ReadTime(const std::string& Section, const std::string& Ident,
                                   TDateTime Default) {
    TDateTime v;
    return ParseTime(ReadString(Section, Ident, ""), v) ? v : Default;
}

TDateTime TCustomIniFile::ReadDateTime(const std::string& Section, const std::string& Ident,
                                       TDateTime Default) {
    std::string text = ReadString(Section, Ident, "");
    size_t space = text.find(' ');
    TDateTime d, t = 0;
    if (!ParseDate(text.substr(0, space), d)) return Default;
    if (space != std::string::npos && !ParseTime(text.substr(space + 1), t)) return Default;
    return d + t;
}

void TCustomIniFile::WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value) {
    WriteString(Section, Ident, DateText(Value));
}

void TCustomIniFile::WriteTime(const std::string& Section, const std::string& Ident, TDateTime Value) {
    WriteString(Section, Ident, TimeText(Value));
}

void TCustomIniFile::WriteDateTime(const std::string& Section, const std::string& Ident,
                                   TDateTime Value) {
    WriteString(Section, Ident, DateText(Value) + " " + TimeText(Value));
}

// ---------------------------------------------------------------- TUniqueIniFile

TUniqueIniFile::TUniqueIniFile(const std::string& canonicalPath) : TCustomIniFile(canonicalPath) {
    auto lines = std::make_unique<TStrings>();
    if (FileExists(FFileName)) {
        *lines = SplitIniLines(ReadWholeFile(FFileName));
        // On Linux the read-only attribute is "this process may not write it".
        FAttributes = FileWritable(FFileName) ? 0u : 1u;
    }
    FLines = lines.release();
    FOwnsLines = true;
    Parse();
}

TUniqueIniFile::TUniqueIniFile(TStrings* lines) : TCustomIniFile("") {
    FLines = lines;
    FOwnsLines = false;
    if (FLines) Parse();
}

TUniqueIniFile::~TUniqueIniFile() {
    if (FModified) {
        try {
            Save();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
    if (FOwnsLines) delete FLines;
}

void TUniqueIniFile::Parse() {
    FHeader.clear();
    FSections.clear();
    FIndex.clear();
    TStrings* current = nullptr;
    for (const std::string& line : *FLines) {
        if (IsSectionHeader(line)) {
            current = &AddSection(line.substr(1, line.size() - 2));
        } else if (current) {
            if (!line.empty()) current->push_back(line); // bodies are indexed on first use
        } else {
            FHeader.push_back(line);
        }
    }
}

void TUniqueIniFile::RebuildIndex() {
    FIndex.clear();
    for (size_t i = 0; i < FSections.size(); ++i)
        FIndex.emplace(AnsiUpperCase(FSections[i]->Name), i);
}

TIniSection* TUniqueIniFile::FindSectionEntry(const std::string& name) {
    auto it = FIndex.find(AnsiUpperCase(name));
    return it == FIndex.end() ? nullptr : FSections[it->second].get();
}

TStrings* TUniqueIniFile::FindSection(const std::string& name) {
    TIniSection* s = FindSectionEntry(name);
    return s ? &s->Body : nullptr;
}

size_t TUniqueIniFile::FindKeyLine(TIniSection& section, const std::string& ident) {
    const TStrings& body = section.Body;
    constexpr size_t kIndexFrom = 32; // short bodies are searched directly
    if (body.size() < kIndexFrom) {
        for (size_t i = 0; i < body.size(); ++i) {
            size_t eq = KeyNameEnd(body[i]);
            if (eq != std::string::npos && AnsiSameText(std::string_view(body[i]).substr(0, eq), ident))
                return i;
        }
        return std::string::npos;
    }
    if (!section.KeyIndexValid) {
        section.KeyIndex.clear();
        for (size_t i = 0; i < body.size(); ++i) {
            size_t eq = KeyNameEnd(body[i]);
            if (eq != std::string::npos) section.KeyIndex.emplace(AnsiUpperCase(body[i].substr(0, eq)), i);
        }
        section.KeyIndexValid = true;
    }
    auto it = section.KeyIndex.find(AnsiUpperCase(ident));
    return it == section.KeyIndex.end() ? std::string::npos : it->second;
}

TStrings& TUniqueIniFile::AddSection(const std::string& name) {
    if (TStrings* body = FindSection(name)) return *body;
    auto section = std::make_unique<TIniSection>();
    section->Name = name;
    FSections.push_back(std::move(section));
    FIndex.emplace(AnsiUpperCase(name), FSections.size() - 1);
    return FSections.back()->Body;
}

std::string TUniqueIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                       const std::string& Default) {
    TIniSection* section = FindSectionEntry(Section);
    if (!section) return Default;
    size_t i = FindKeyLine(*section, Ident);
    if (i == std::string::npos) return Default;
    const std::string& line = section->Body[i];
    std::string value = Trim(std::string_view(line).substr(line.find('=') + 1));
    return value.empty() ? Default : value;
}

void TUniqueIniFile::WriteString(const std::string& Section, const std::string& Ident,
                                 const std::string& Value) {
    if (Section.empty() && Ident.empty() && Value.empty()) {
        Save();
        return;
    }
    if (Ident.empty()) {
        auto it = FIndex.find(AnsiUpperCase(Section));
        if (it != FIndex.end()) {
            FSections.erase(FSections.begin() + static_cast<std::ptrdiff_t>(it->second));
            RebuildIndex();
            FModified = true;
        }
        return;
    }
    AddSection(Section);
    TIniSection& section = *FindSectionEntry(Section);
    TStrings& body = section.Body;
    size_t i = FindKeyLine(section, Ident);
    if (!Value.empty()) {
        if (i != std::string::npos) {
            body[i] = Ident + "=" + Value; // same name, same place: the index holds
        } else {
            body.push_back(Ident + "=" + Value);
            if (section.KeyIndexValid) section.KeyIndex.emplace(AnsiUpperCase(Ident), body.size() - 1);
        }
    } else if (i != std::string::npos) {
        body.erase(body.begin() + static_cast<std::ptrdiff_t>(i));
        section.KeyIndexValid = false;
    }
    FModified = true;
}

void TUniqueIniFile::ReadSection(const std::string& Section, TStrings& Strings) {
    Strings.clear();
    if (const TStrings* body = FindSection(Section))
        for (const std::string& line : *body) {
            size_t eq = line.find('=');
            Strings.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
        }
}

void TUniqueIniFile::ReadSections(TStrings& Strings) {
    Strings.clear();
    Strings.reserve(FSections.size());
    for (const auto& s : FSections) Strings.push_back(s->Name);
}

void TUniqueIniFile::ReadSectionValues(const std::string& Section, TStrings& Strings) {
    Strings.clear();
    if (const TStrings* body = FindSection(Section)) Strings = *body;
}

void TUniqueIniFile::EraseSection(const std::string& Section) { WriteString(Section, "", ""); }

void TUniqueIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    WriteString(Section, Ident, "");
}

void TUniqueIniFile::UpdateFile() { Save(); }

void TUniqueIniFile::Save() {
    if (!FLines) {
        FModified = false;
        return;
    }
    FLines->clear();
    FLines->insert(FLines->end(), FHeader.begin(), FHeader.end());
    for (size_t i = 0; i < FSections.size(); ++i) {
        if (i > 0) FLines->emplace_back();
        FLines->push_back(Format("[%s]", FSections[i]->Name));
        FLines->insert(FLines->end(), FSections[i]->Body.begin(), FSections[i]->Body.end());
    }
    if (!FFileName.empty() && !ReadOnly())
        ReplaceWholeFile(FFileName, JoinIniLines(*FLines)); // raises; Modified stays set
    FModified = false;
}

// ---------------------------------------------------------------- sharing

TStrings SplitIniLines(const std::string& Text) { return SplitLinesImpl(Text); }

std::string JoinIniLines(const TStrings& Lines) {
    size_t size = 0;
    for (const std::string& l : Lines) size += l.size() + 2;
    std::string content;
    content.reserve(size);
    for (const std::string& l : Lines) {
        content += l;
        content += "\r\n";
    }
    return content;
}

std::string CanonicalIniPath(const std::string& fileName) {
    std::string name = fileName.empty() ? std::string("win.ini") : fileName;
    if (IsBareFileName(name)) {
        std::string dir = WindowsDirectory();
        if (dir.back() != PathDelim() && dir.back() != ':') dir += PathDelim();
        name = dir + name;
    }
    std::string full = ExpandFileName(name);
    return FileNamesIgnoreCase() ? AnsiLowerCase(full) : full;
}

TUniqueIniFile* AcquireIniFile(const std::string& fileName) {
    std::string path = CanonicalIniPath(fileName);
    if (g_shared) {
        for (TUniqueIniFile* f : *g_shared)
            if (f->FileName() == path) return f;
    }
    auto created = std::make_unique<TUniqueIniFile>(path); // raises before any registration
    if (!g_shared) g_shared = new std::vector<TUniqueIniFile*>();
    g_shared->push_back(created.get());
    return created.release();
}

const std::vector<TUniqueIniFile*>& SharedIniFiles() {
    static const std::vector<TUniqueIniFile*> none;
    return g_shared ? *g_shared : none;
}

// ---------------------------------------------------------------- TPLVIniFile

TPLVIniFile::TPLVIniFile(const std::string& fileName) : TCustomIniFile("") {
    FShared = AcquireIniFile(fileName);
    ++FShared->RefCount;
}

TPLVIniFile::~TPLVIniFile() {
    try {
        Release();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TPLVIniFile::Release() {
    TUniqueIniFile* shared = FShared;
    if (!shared) return;
    FShared = nullptr;
    int32_t count = shared->RefCount - 1;
    if (count > 0) {
        shared->RefCount = count;
        return;
    }
    auto it = std::find(g_shared->begin(), g_shared->end(), shared);
    if (it != g_shared->end()) g_shared->erase(it);
    if (g_shared->empty()) {
        delete g_shared;
        g_shared = nullptr;
    }
    std::unique_ptr<TUniqueIniFile> owner(shared);
    if (owner->FModified) owner->Save(); // a failure reaches the caller; the content goes
}

std::string TPLVIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) {
    return FShared->ReadString(Section, Ident, Default);
}
void TPLVIniFile::WriteString(const std::string& Section, const std::string& Ident,
                              const std::string& Value) {
    FShared->WriteString(Section, Ident, Value);
}
double TPLVIniFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) {
    // A point always works, whatever the locale; otherwise the locale's form.
    double value;
    if (ParseDecimal(ReadString(Section, Ident, ""), '.', value)) return value;
    return TCustomIniFile::ReadFloat(Section, Ident, Default);
}
void TPLVIniFile::ReadSection(const std::string& Section, TStrings& Strings) {
    FShared->ReadSection(Section, Strings);
}
void TPLVIniFile::ReadSections(TStrings& Strings) { FShared->ReadSections(Strings); }
void TPLVIniFile::ReadSectionValues(const std::string& Section, TStrings& Strings) {
    FShared->ReadSectionValues(Section, Strings);
}
void TPLVIniFile::EraseSection(const std::string& Section) { FShared->EraseSection(Section); }
void TPLVIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    FShared->DeleteKey(Section, Ident);
}
void TPLVIniFile::UpdateFile() { FShared->Save(); }

} // namespace znx
