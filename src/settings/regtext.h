#pragma once
// The text of a registry export, as the per-user settings file keeps it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Orvane\Tessarine\System]
//   "Drive"="A"
//   "Top"=dword:00000078
//
// Quoted strings are UTF-8 with \\ and \" escaped; hex(1):, hex(2): and
// hex(7): byte lists hold UTF-16LE text as exports write it; hex: and hex(N):
// hold raw bytes and may continue over lines ending in "\". Lines may end in
// CR LF or LF; a UTF-8 byte-order mark is accepted. A file that starts with
// the UTF-16LE byte-order mark (what regedit saves) is read as UTF-16LE and
// written back whole in it.
//
// Pure text in, text out: no files here. Lines the parser does not understand
// are kept byte for byte and otherwise ignored; every line that is not
// changed is written back exactly as it was read.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/regbackend.h"

// "HKEY_CURRENT_USER" and so on.
const char* RegRootName(RegRoot root);

// Conversions between the UTF-8 the program uses and the UTF-16LE of the
// export's text byte lists; empty when the input is not valid.
std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8);
std::optional<std::string> Utf16LeToUtf8(std::string_view utf16);

// The line(s) "name"=data for one value, each ended by eol; empty when the
// value cannot be written (a name with a line break, text that is not UTF-8).
std::optional<std::string> FormatRegValue(const std::string& name, const RegValue& value, std::string_view eol);

class RegDocument {
public:
    struct Entry {
        enum class Type { Other, Section, Value };
        Type type = Type::Other;
        std::string raw;       // every byte of the line(s), line ends included
        bool boundary = false; // Other: looked like a section header, so ends the one before
        RegRoot root = RegRoot::CurrentUser; // Section
        std::string path;                    // Section: components joined by single backslashes
        std::string name;                    // Value
        RegValue value;                      // Value
    };

    static RegDocument Parse(std::string_view bytes);
    std::string Serialize() const;

    // False for a UTF-16LE file that is not valid UTF-16: it holds no key,
    // refuses every change and serializes to the bytes it was parsed from.
    bool Decoded() const { return decoded_; }
    bool Utf16() const { return utf16_; }

    // Whether the key or one below it has a section.
    bool HasKey(RegRoot root, std::string_view path) const;
    // The last occurrence wins, as it does when an export is imported.
    std::optional<RegValue> FindValue(RegRoot root, std::string_view path, std::string_view name) const;

    // Appends a section for the key when the key does not exist yet; false
    // when the document takes no change (not Decoded()).
    bool AddKey(RegRoot root, std::string_view path);
    // Changes the value's last occurrence in place, or adds it to the key's last
    // section (adding the section when there is none); false when the value
    // cannot be written in this format.
    bool SetValue(RegRoot root, std::string_view path, const std::string& name, const RegValue& value);

    const std::vector<Entry>& entries() const { return entries_; }

private:
    // Index of the last occurrence of the value, or of the key's last section; -1 when none.
    std::ptrdiff_t LastValue(RegRoot root, const std::string& path, std::string_view name) const;
    std::ptrdiff_t LastSection(RegRoot root, const std::string& path) const;
    std::size_t AppendSection(RegRoot root, const std::string& path);
    void InsertEntry(std::size_t at, Entry entry);

    bool bom_ = false;
    bool utf16_ = false;
    bool decoded_ = true;
    std::string undecoded_; // the bytes of a file that is not Decoded()
    std::string eol_ = "\n";
    std::vector<Entry> entries_;
};

// Key paths compare case-insensitively with empty components dropped.
std::string NormalizeKeyPath(std::string_view path);
