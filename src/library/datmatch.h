#pragma once
// Matching images against the preservation databases' dat files (Logiqx
// XML as TOSEC and No-Intro publish it, and MAME software lists): each rom
// entry gives a size and some of CRC32, MD5 and SHA-1.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/datahash.h"

struct DatRom {
    std::string game;  // the game, machine or software the rom belongs to (UTF-8 as in the file)
    std::string rom;   // the rom's own name
    std::uint64_t size = 0;
    std::string crc32, md5, sha1; // lowercase hex; empty when the dat leaves it out
};

struct DatFile {
    std::string path;
    std::string name; // header/name, or the list's name
    std::vector<DatRom> roms;
};

// Dat files larger than this are refused unread.
inline constexpr std::uint64_t kMaxDatFileBytes = 256ull << 20;

// Parses dat text. Empty on success, else what is wrong (not XML, with
// the parser's words and offset; XML but no dat).
std::string ParseDat(std::string_view xml, DatFile& out);

// Reads and parses the dat file at path; the error names the file.
std::string LoadDatFile(const std::string& path, DatFile& out);

enum class MatchKind { Matched, SizeOnly, Unknown };

struct DatMatch {
    MatchKind kind = MatchKind::Unknown;
    const DatFile* dat = nullptr; // Matched, SizeOnly: the dat and the entry
    const DatRom* rom = nullptr;
};

// Matched: an entry of the same size whose every listed hash agrees (at
// least one listed). SizeOnly: entries of the same size exist, none agrees
// (the first is named). Unknown: no entry has the size.
DatMatch MatchDats(const std::vector<DatFile>& dats, const DataHashes& hashes);
