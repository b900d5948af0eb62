#pragma once
// The INI file class pair of both programs.
//
// TUniqueIniFile holds one INI file in memory, answers reads and applies writes
// there, and writes the whole file back on request or when it is released.
// TPLVIniFile is the handle code creates and frees: all handles of a process on
// one file share one TUniqueIniFile, which counts them and goes with the last.
//
// The file format rules (case-insensitive names, values trimmed on reading,
// repeated sections merged, normalised blank lines, the Windows folder for bare
// names) are part of the task definition file format both programs rely on.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace znx {

using TStrings = std::vector<std::string>;
// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// The abstract INI class: the usual operations, the typed ones implemented
// here on top of ReadString and WriteString.
class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }

    virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) = 0;
    virtual void WriteString(const std::string& Section, const std::string& Ident,
                             const std::string& Value) = 0;
    virtual int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
    virtual void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
    virtual bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
    virtual void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
    // Binary values are stored as hexadecimal text; returns the byte count.
    virtual size_t ReadBinaryStream(const std::string& Section, const std::string& Ident,
                                    std::string& Value);
    virtual TDateTime ReadDate(const std::string& Section, const std::string& Ident, TDateTime Default);
    virtual TDateTime ReadDateTime(const std::string& Section, const std::string& Ident,
                                   TDateTime Default);
    virtual double ReadFloat(const std::string& Section, const std::string& Ident, double Default);
    virtual TDateTime ReadTime(const std::string& Section, const std::string& Ident, TDateTime Default);
    virtual void WriteBinaryStream(const std::string& Section, const std::string& Ident,
                                   const std::string& Value);
    virtual void WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value);
    virtual void WriteDateTime(const std::string& Section, const std::string& Ident, TDateTime Value);
    virtual void WriteFloat(const std::string& Section, const std::string& Ident, double Value);
    virtual void WriteTime(const std::string& Section, const std::string& Ident, TDateTime Value);
    virtual void ReadSection(const std::string& Section, TStrings& Strings) = 0;
    virtual void ReadSections(TStrings& Strings) = 0;
    virtual void ReadSectionValues(const std::string& Section, TStrings& Strings) = 0;
    virtual void EraseSection(const std::string& Section) = 0;
    virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
    virtual void UpdateFile() = 0;

protected:
    std::string FFileName;
};

// One section: its name as first seen and its body lines.
struct TIniSection {
    std::string Name;
    TStrings Body;
    // Upper-cased key name -> its first line in Body, built on demand for
    // long bodies and dropped whenever lines move.
    std::unordered_map<std::string, size_t> KeyIndex;
    bool KeyIndexValid = false;
};

class TUniqueIniFile : public TCustomIniFile {
public:
    // Loads the file at the canonical path (a missing file reads as empty).
    explicit TUniqueIniFile(const std::string& canonicalPath);
    // Works over the caller's list of lines; a save only rebuilds the list.
    explicit TUniqueIniFile(TStrings* lines);
    // Saves when Modified; an error of that save is reported on standard
    // error. Use Release() of the last handle to see it as an exception.
    ~TUniqueIniFile() override;

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value) override;
    void ReadSection(const std::string& Section, TStrings& Strings) override;
    void ReadSections(TStrings& Strings) override;
    void ReadSectionValues(const std::string& Section, TStrings& Strings) override;
    void EraseSection(const std::string& Section) override;
    void DeleteKey(const std::string& Section, const std::string& Ident) override;
    void UpdateFile() override;

    bool Modified() const { return FModified; }
    bool ReadOnly() const { return (FAttributes & 1u) != 0; }
    uint32_t Attributes() const { return FAttributes; }
    const TStrings& Header() const { return FHeader; }
    const std::vector<std::unique_ptr<TIniSection>>& Sections() const { return FSections; }

    // The body of the first section of that name (case-insensitive), or null.
    TStrings* FindSection(const std::string& name);
    // FindSection's body, or a new empty section appended at the end.
    TStrings& AddSection(const std::string& name);

    int32_t RefCount = 0;

private:
    friend class TPLVIniFile;
    void Parse();
    void Save();
    void RebuildIndex();
    TIniSection* FindSectionEntry(const std::string& name);
    static size_t FindKeyLine(TIniSection& section, const std::string& ident);

    uint32_t FAttributes = 0;
    TStrings* FLines = nullptr;
    bool FOwnsLines = false;
    TStrings FHeader;
    std::vector<std::unique_ptr<TIniSection>> FSections;
    // Upper-cased section name -> position in FSections; names are unique.
    std::unordered_map<std::string, size_t> FIndex;
    bool FModified = false;
};

// The handle. Creating the first handle on a file reads it; later handles on
// the same canonical path share the content in memory.
class TPLVIniFile : public TCustomIniFile {
public:
    explicit TPLVIniFile(const std::string& fileName);
    // Releases the handle if Release() was not called; a failing save of the
    // last handle is then reported on standard error (never thrown here).
    ~TPLVIniFile() override;

    // Releases the handle now. When it is the last one and the content was
    // modified, the file is saved and a failure raises Error; the handle is
    // released either way.
    void Release();

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value) override;
    double ReadFloat(const std::string& Section, const std::string& Ident, double Default) override;
    void ReadSection(const std::string& Section, TStrings& Strings) override;
    void ReadSections(TStrings& Strings) override;
    void ReadSectionValues(const std::string& Section, TStrings& Strings) override;
    void EraseSection(const std::string& Section) override;
    void DeleteKey(const std::string& Section, const std::string& Ident) override;
    void UpdateFile() override;

    TUniqueIniFile* Shared() const { return FShared; }

private:
    TUniqueIniFile* FShared = nullptr;
};

// The canonical path of a file name: an empty name stands for "win.ini", a
// bare name lies in the Windows folder, the result is expanded to a full path
// (and lower-cased where the file system ignores letter case).
std::string CanonicalIniPath(const std::string& fileName);

// The shared object for a file name (used by TPLVIniFile only).
TUniqueIniFile* AcquireIniFile(const std::string& fileName);

// The file format's line splitting (CR LF, lone CR, lone LF; a NUL ends the
// text) and joining (CR LF after every line).
TStrings SplitIniLines(const std::string& Text);
std::string JoinIniLines(const TStrings& Lines);

// The live shared objects; empty when no handle is open.
const std::vector<TUniqueIniFile*>& SharedIniFiles();

} // namespace znx
