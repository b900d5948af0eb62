#include "editor/VersionInfo.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#else
#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>
#endif

#ifndef ZNX_VERSION_MAJOR
#error "the build passes ZNX_VERSION_MAJOR, _MINOR, _PATCH and _TWEAK"
#endif

namespace znx::editor {

void BuiltVersionNumbers(uint16_t& Major, uint16_t& Minor, uint16_t& Release, uint16_t& Build) {
    Major = ZNX_VERSION_MAJOR;
    Minor = ZNX_VERSION_MINOR;
    Release = ZNX_VERSION_PATCH;
    Build = ZNX_VERSION_TWEAK;
}

#ifdef _WIN32

bool GetFileVersionNumbers(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                           uint16_t& Release, uint16_t& Build) {
    Major = Minor = Release = Build = 0;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &handle);
    if (size == 0) return false;
    std::vector<char> buffer(size);
    if (!GetFileVersionInfoA(FileName.c_str(), handle, size, buffer.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(buffer.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return false;
    Major = HIWORD(info->dwFileVersionMS);
    Minor = LOWORD(info->dwFileVersionMS);
    Release = HIWORD(info->dwFileVersionLS);
    Build = LOWORD(info->dwFileVersionLS);
    return true;
}

#else

// The note the executable carries. It lives in an allocated note section so
// that the linker keeps it in the program's note segment, and strip keeps it.
#define ZNX_STR2(x) #x
#define ZNX_STR(x) ZNX_STR2(x)
__asm__(".pushsection .note.znx.version,\"a\",@note\n"
        ".balign 4\n"
        ".long 4\n"  // name size, the terminating NUL included
        ".long 8\n"  // descriptor size: four 16-bit numbers
        ".long 1\n"  // type: version numbers
        ".asciz \"ZNX\"\n"
        ".short " ZNX_STR(ZNX_VERSION_MAJOR) ", " ZNX_STR(ZNX_VERSION_MINOR) ", " ZNX_STR(
            ZNX_VERSION_PATCH) ", " ZNX_STR(ZNX_VERSION_TWEAK) "\n"
        ".balign 4\n"
        ".popsection\n");

namespace {

constexpr uint32_t VersionNoteType = 1;
// Note areas larger than this are not read (the version note is tiny).
constexpr uint64_t MaxNoteArea = 1 << 20;

// Reads Size bytes at Offset; false when the file is shorter.
bool ReadAt(std::ifstream& in, uint64_t fileSize, uint64_t offset, void* out, size_t size) {
    if (offset > fileSize || fileSize - offset < size) return false;
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(static_cast<char*>(out), static_cast<std::streamsize>(size)));
}

// Walks the notes of one note area; true when the version note was found.
bool FindVersionNote(std::ifstream& in, uint64_t fileSize, uint64_t offset, uint64_t size, uint16_t v[4]) {
    if (size < 12 || size > MaxNoteArea) return false;
    std::vector<char> area(size);
    if (!ReadAt(in, fileSize, offset, area.data(), area.size())) return false;
    uint64_t pos = 0;
    while (size - pos >= 12) {
        uint32_t header[3];
        std::memcpy(header, area.data() + pos, sizeof header);
        uint64_t nameSize = header[0], descSize = header[1];
        uint64_t namePos = pos + 12;
        uint64_t descPos = namePos + ((nameSize + 3) & ~uint64_t{3});
        uint64_t next = descPos + ((descSize + 3) & ~uint64_t{3});
        if (descPos > size || next > size || descPos + descSize > size) return false;
        if (header[2] == VersionNoteType && nameSize == 4 && descSize == 8 &&
            std::memcmp(area.data() + namePos, "ZNX", 4) == 0) {
            std::memcpy(v, area.data() + descPos, 8);
            return true;
        }
        pos = next;
    }
    return false;
}

template <typename Ehdr, typename Phdr, typename Shdr>
bool FindInElf(std::ifstream& in, uint64_t fileSize, uint16_t v[4]) {
    Ehdr eh;
    if (!ReadAt(in, fileSize, 0, &eh, sizeof eh)) return false;
    // Note segments first (what the loader sees), then note sections.
    for (unsigned i = 0; i < eh.e_phnum && eh.e_phentsize == sizeof(Phdr); ++i) {
        Phdr ph;
        if (!ReadAt(in, fileSize, eh.e_phoff + uint64_t{i} * sizeof(Phdr), &ph, sizeof ph)) break;
        if (ph.p_type == PT_NOTE && FindVersionNote(in, fileSize, ph.p_offset, ph.p_filesz, v)) return true;
    }
    for (unsigned i = 0; i < eh.e_shnum && eh.e_shentsize == sizeof(Shdr); ++i) {
        Shdr sh;
        if (!ReadAt(in, fileSize, eh.e_shoff + uint64_t{i} * sizeof(Shdr), &sh, sizeof sh)) break;
        if (sh.sh_type == SHT_NOTE && FindVersionNote(in, fileSize, sh.sh_offset, sh.sh_size, v)) return true;
    }
    return false;
}

} // namespace

bool GetFileVersionNumbers(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                           uint16_t& Release, uint16_t& Build) {
    Major = Minor = Release = Build = 0;
    std::ifstream in(FileName, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff end = in.tellg();
    if (end < static_cast<std::streamoff>(EI_NIDENT)) return false;
    const uint64_t fileSize = static_cast<uint64_t>(end);
    unsigned char ident[EI_NIDENT];
    if (!ReadAt(in, fileSize, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return false;
    // The note is written in the byte order of the machine that built it,
    // which is the executable's own.
    uint16_t v[4];
    bool found = false;
    if (ident[EI_CLASS] == ELFCLASS64)
        found = FindInElf<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(in, fileSize, v);
    else if (ident[EI_CLASS] == ELFCLASS32)
        found = FindInElf<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(in, fileSize, v);
    if (!found) return false;
    Major = v[0];
    Minor = v[1];
    Release = v[2];
    Build = v[3];
    return true;
}

#endif

} // namespace znx::editor
