#include "settings/regtext.h"

#include <array>
#include <cstdint>

#include "base/textconv.h"

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";

constexpr std::array<std::pair<RegRoot, const char*>, 6> kRootNames{{
    {RegRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegRoot::Users, "HKEY_USERS"},
    {RegRoot::CurrentConfig, "HKEY_CURRENT_CONFIG"},
    {RegRoot::DynData, "HKEY_DYN_DATA"},
}};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNewline(const std::string& raw) { return !raw.empty() && raw.back() == '\n'; }

// 1 to 8 hexadecimal digits, nothing else.
std::optional<std::uint32_t> ParseHex32(std::string_view s)
{
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t v = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

// A quoted text starting at s[i] == '"'; i ends after the closing quote.
// Only \\ and \" are escapes; any other backslash stands for itself.
bool ParseQuoted(std::string_view s, std::size_t& i, std::string& out)
{
    ++i;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[i + 1];
            i += 2;
        } else if (c == '"') {
            ++i;
            return true;
        } else {
            out += c;
            ++i;
        }
    }
    return false;
}

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// "01,ff, 2A": comma-separated bytes of one or two hexadecimal digits.
bool ParseByteList(std::string_view s, std::string& out)
{
    if (TrimBlanks(s).empty())
        return true;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = s.find(',', start);
        std::string_view token = TrimBlanks(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
        if (token.empty() || token.size() > 2)
            return false;
        auto v = ParseHex32(token);
        if (!v)
            return false;
        out += static_cast<char>(*v);
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

bool IsTextKind(std::uint32_t kind) { return kind == 1 || kind == 2 || kind == 7; }

// The data after "=": "text", dword:n, hex:list or hex(kind):list.
bool ParseData(std::string_view s, RegValue& value)
{
    if (!s.empty() && s[0] == '"') {
        std::size_t i = 0;
        std::string text;
        if (!ParseQuoted(s, i, text) || i != s.size())
            return false;
        text += '\0';
        value = {RegKind::Sz, std::move(text)};
        return true;
    }
    if (StartsNoCase(s, "dword:")) {
        auto v = ParseHex32(s.substr(6));
        if (!v)
            return false;
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>((*v >> (8 * i)) & 0xFF);
        value = {RegKind::Dword, std::move(bytes)};
        return true;
    }
    if (!StartsNoCase(s, "hex"))
        return false;
    std::size_t i = 3;
    std::uint32_t kind = static_cast<std::uint32_t>(RegKind::Binary);
    if (i < s.size() && s[i] == '(') {
        std::size_t close = s.find(')', i);
        if (close == std::string_view::npos)
            return false;
        auto k = ParseHex32(s.substr(i + 1, close - i - 1));
        if (!k)
            return false;
        kind = *k;
        i = close + 1;
    }
    if (i >= s.size() || s[i] != ':')
        return false;
    std::string bytes;
    if (!ParseByteList(s.substr(i + 1), bytes))
        return false;
    if (IsTextKind(kind) && bytes.size() % 2 == 0) {
        // Exports hold these as UTF-16LE; a list that is not is kept as it stands.
        if (auto utf8 = Utf16LeToUtf8(bytes))
            bytes = std::move(*utf8);
    }
    value = {static_cast<RegKind>(kind), std::move(bytes)};
    return true;
}

// `"name"=data` or `@=data`, blanks allowed around "=".
bool ParseValueLine(std::string_view s, std::string& name, RegValue& value)
{
    std::size_t i = 0;
    name.clear();
    if (s.empty())
        return false;
    if (s[0] == '@')
        i = 1;
    else if (s[0] != '"' || !ParseQuoted(s, i, name))
        return false;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    if (i >= s.size() || s[i] != '=')
        return false;
    ++i;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return ParseData(s.substr(i), value);
}

// What a continuation line of a byte list may hold: "  01,02,\".
bool LooksLikeByteListTail(std::string_view trimmed)
{
    if (trimmed.empty())
        return false;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        char c = trimmed[i];
        bool ok = HexDigit(c) >= 0 || c == ',' || IsBlank(c) || (c == '\\' && i + 1 == trimmed.size());
        if (!ok)
            return false;
    }
    return true;
}

struct PhysicalLine {
    std::string_view raw;     // with its line end
    std::string_view content; // without CR LF or LF
};

std::vector<PhysicalLine> SplitLines(std::string_view text)
{
    std::vector<PhysicalLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        std::string_view raw = text.substr(pos, end - pos);
        std::string_view content = raw;
        if (!content.empty() && content.back() == '\n')
            content.remove_suffix(1);
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
        lines.push_back({raw, content});
        pos = end;
    }
    return lines;
}

bool SectionMatches(const RegDocument::Entry& e, RegRoot root, std::string_view path)
{
    return e.type == RegDocument::Entry::Type::Section && e.root == root && EqualsNoCase(e.path, path);
}

bool EndsSection(const RegDocument::Entry& e)
{
    return e.type == RegDocument::Entry::Type::Section || e.boundary;
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16Unit(std::string& out, std::uint32_t unit)
{
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

} // namespace

const char* RegRootName(RegRoot root)
{
    for (const auto& [r, name] : kRootNames)
        if (r == root)
            return name;
    return "HKEY_CURRENT_USER";
}

std::string NormalizeKeyPath(std::string_view path)
{
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t sep = path.find('\\', start);
        std::size_t end = sep == std::string_view::npos ? path.size() : sep;
        if (end > start) {
            if (!out.empty())
                out += '\\';
            out += path.substr(start, end - start);
        }
        if (sep == std::string_view::npos)
            break;
        start = sep + 1;
    }
    return out;
}

std::optional<std::string> Utf8ToUtf16Le(std::string_view s)
{
    std::string out;
    out.reserve(s.size() * 2);
    for (std::size_t i = 0; i < s.size();) {
        auto b0 = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        std::size_t len;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1F;
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0F;
            len = 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07;
            len = 4;
        } else {
            return std::nullopt;
        }
        if (i + len > s.size())
            return std::nullopt;
        for (std::size_t k = 1; k < len; ++k) {
            auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16Unit(out, 0xD800 | (cp >> 10));
            AppendUtf16Unit(out, 0xDC00 | (cp & 0x3FF));
        } else {
            AppendUtf16Unit(out, cp);
        }
        i += len;
    }
    return out;
}

std::optional<std::string> Utf16LeToUtf8(std::string_view s)
{
    if (s.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(s.size());
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + 1])) << 8);
    };
    for (std::size_t i = 0; i < s.size(); i += 2) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 3 >= s.size())
                return std::nullopt;
            std::uint32_t lo = unit(i + 2);
            if (lo < 0xDC00 || lo > 0xDFFF)
                return std::nullopt;
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::optional<std::string> FormatRegValue(const std::string& name, const RegValue& value, std::string_view eol)
{
    if (name.find_first_of("\r\n") != std::string::npos)
        return std::nullopt;
    std::string line = name.empty() ? "@=" : Quote(name) + "=";
    const auto kind = static_cast<std::uint32_t>(value.kind);
    const std::string& bytes = value.bytes;

    if (value.kind == RegKind::Sz && !bytes.empty() && bytes.back() == '\0') {
        std::string_view body(bytes.data(), bytes.size() - 1);
        if (body.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
            line += Quote(body);
            line += eol;
            return line;
        }
    }
    if (value.kind == RegKind::Dword && bytes.size() == 4) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        static const char digits[] = "0123456789abcdef";
        line += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            line += digits[(v >> shift) & 0xF];
        line += eol;
        return line;
    }

    std::string list = bytes;
    if (IsTextKind(kind)) {
        auto utf16 = Utf8ToUtf16Le(bytes);
        if (!utf16)
            return std::nullopt;
        list = std::move(*utf16);
    }
    static const char digits[] = "0123456789abcdef";
    if (value.kind == RegKind::Binary) {
        line += "hex:";
    } else {
        std::string k;
        for (std::uint32_t v = kind; ; v >>= 4) {
            k.insert(k.begin(), digits[v & 0xF]);
            if (v < 16)
                break;
        }
        line += "hex(" + k + "):";
    }
    // Exports wrap long lists before 80 columns, continuing with "\".
    std::size_t column = line.size();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            if (column + 5 > 80) {
                line += ",\\";
                line += eol;
                line += "  ";
                column = 2;
            } else {
                line += ',';
                ++column;
            }
        }
        auto b = static_cast<unsigned char>(list[i]);
        line += digits[b >> 4];
        line += digits[b & 0xF];
        column += 2;
    }
    line += eol;
    return line;
}

RegDocument RegDocument::Parse(std::string_view bytes)
{
    RegDocument doc;
    std::string decoded;
    if (bytes.substr(0, kUtf16Bom.size()) == kUtf16Bom) {
        doc.utf16_ = true;
        std::optional<std::string> utf8 = Utf16LeToUtf8(bytes.substr(kUtf16Bom.size()));
        if (!utf8) {
            // Nothing in it can be trusted, and a rewrite would lose it.
            doc.decoded_ = false;
            doc.undecoded_ = std::string(bytes);
            return doc;
        }
        decoded = std::move(*utf8);
        bytes = decoded;
    } else if (bytes.substr(0, kBom.size()) == kBom) {
        doc.bom_ = true;
        bytes.remove_prefix(kBom.size());
    }
    std::size_t nl = bytes.find('\n');
    if (nl != std::string_view::npos && nl > 0 && bytes[nl - 1] == '\r')
        doc.eol_ = "\r\n";

    const std::vector<PhysicalLine> lines = SplitLines(bytes);
    bool inSection = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        Entry e;
        e.raw = std::string(lines[n].raw);
        std::string_view trimmed = TrimBlanks(lines[n].content);

        if (!trimmed.empty() && trimmed[0] == '[') {
            e.boundary = true;
            inSection = false;
            std::string_view inner = trimmed.substr(1);
            if (!inner.empty() && inner.back() == ']') {
                inner.remove_suffix(1);
                std::string_view rootName = inner.substr(0, inner.find('\\'));
                for (const auto& [root, name] : kRootNames) {
                    if (EqualsNoCase(rootName, name)) {
                        e.type = Entry::Type::Section;
                        e.boundary = false;
                        e.root = root;
                        e.path = NormalizeKeyPath(inner.substr(rootName.size()));
                        inSection = true;
                        break;
                    }
                }
            }
        } else if (!trimmed.empty() && (trimmed[0] == '"' || trimmed[0] == '@')) {
            std::string logical(trimmed);
            while (!logical.empty() && logical.back() == '\\' && n + 1 < lines.size() &&
                   LooksLikeByteListTail(TrimBlanks(lines[n + 1].content))) {
                ++n;
                logical.pop_back();
                logical += TrimBlanks(lines[n].content);
                e.raw += lines[n].raw;
            }
            if (inSection && ParseValueLine(logical, e.name, e.value))
                e.type = Entry::Type::Value;
        }
        doc.entries_.push_back(std::move(e));
    }
    return doc;
}

std::string RegDocument::Serialize() const
{
    if (!decoded_)
        return undecoded_;
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (const Entry& e : entries_)
        out += e.raw;
    if (!utf16_)
        return out;
    // Every line was decoded from UTF-16 or checked when it was set.
    return std::string(kUtf16Bom) + Utf8ToUtf16Le(out).value_or(std::string());
}

bool RegDocument::HasKey(RegRoot root, std::string_view path) const
{
    const std::string p = NormalizeKeyPath(path);
    if (p.empty())
        return true; // a root always exists
    for (const Entry& e : entries_) {
        if (e.type != Entry::Type::Section || e.root != root || e.path.size() < p.size())
            continue;
        if (EqualsNoCase(std::string_view(e.path).substr(0, p.size()), p) &&
            (e.path.size() == p.size() || e.path[p.size()] == '\\'))
            return true;
    }
    return false;
}

std::ptrdiff_t RegDocument::LastValue(RegRoot root, const std::string& path, std::string_view name) const
{
    std::ptrdiff_t found = -1;
    bool inKey = false;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (EndsSection(e))
            inKey = SectionMatches(e, root, path);
        else if (inKey && e.type == Entry::Type::Value && EqualsNoCase(e.name, name))
            found = static_cast<std::ptrdiff_t>(i);
    }
    return found;
}

std::ptrdiff_t RegDocument::LastSection(RegRoot root, const std::string& path) const
{
    for (std::size_t i = entries_.size(); i-- > 0;)
        if (SectionMatches(entries_[i], root, path))
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::optional<RegValue> RegDocument::FindValue(RegRoot root, std::string_view path, std::string_view name) const
{
    std::ptrdiff_t i = LastValue(root, NormalizeKeyPath(path), name);
    if (i < 0)
        return std::nullopt;
    return entries_[static_cast<std::size_t>(i)].value;
}

void RegDocument::InsertEntry(std::size_t at, Entry entry)
{
    // A last line without its line end must not run into the new one.
    if (at > 0 && !EndsWithNewline(entries_[at - 1].raw))
        entries_[at - 1].raw += eol_;
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

std::size_t RegDocument::AppendSection(RegRoot root, const std::string& path)
{
    if (entries_.empty()) {
        Entry header;
        header.raw = std::string(kHeader) + eol_;
        InsertEntry(entries_.size(), std::move(header));
    }
    if (!TrimBlanks(entries_.back().raw).empty()) {
        Entry blank;
        blank.raw = eol_;
        InsertEntry(entries_.size(), std::move(blank));
    }
    Entry section;
    section.type = Entry::Type::Section;
    section.root = root;
    section.path = path;
    section.raw = "[" + std::string(RegRootName(root)) + (path.empty() ? "" : "\\") + path + "]" + eol_;
    InsertEntry(entries_.size(), std::move(section));
    const std::size_t at = entries_.size() - 1;
    Entry blank;
    blank.raw = eol_;
    InsertEntry(entries_.size(), std::move(blank));
    return at;
}

bool RegDocument::AddKey(RegRoot root, std::string_view path)
{
    if (!decoded_ || (utf16_ && !Utf8ToUtf16Le(path)))
        return false;
    if (!HasKey(root, path))
        AppendSection(root, NormalizeKeyPath(path));
    return true;
}

bool RegDocument::SetValue(RegRoot root, std::string_view path, const std::string& name, const RegValue& value)
{
    if (!decoded_ || (utf16_ && (!Utf8ToUtf16Le(path) || !Utf8ToUtf16Le(name))))
        return false;
    const std::string p = NormalizeKeyPath(path);
    std::ptrdiff_t existing = LastValue(root, p, name);
    if (existing >= 0) {
        Entry& e = entries_[static_cast<std::size_t>(existing)];
        // A changed line keeps the line end it had.
        std::string_view eol = eol_;
        if (e.raw.size() >= 2 && e.raw.compare(e.raw.size() - 2, 2, "\r\n") == 0)
            eol = "\r\n";
        else if (EndsWithNewline(e.raw))
            eol = "\n";
        auto text = FormatRegValue(name, value, eol);
        if (!text || (utf16_ && !Utf8ToUtf16Le(*text)))
            return false;
        e.raw = std::move(*text);
        e.name = name;
        e.value = value;
        return true;
    }
    auto text = FormatRegValue(name, value, eol_);
    if (!text || (utf16_ && !Utf8ToUtf16Le(*text)))
        return false;
    std::ptrdiff_t section = LastSection(root, p);
    std::size_t at = section >= 0 ? static_cast<std::size_t>(section) : AppendSection(root, p);
    // After the section's last line, before the blank lines that close it.
    std::size_t insertAt = at + 1;
    for (std::size_t k = at + 1; k < entries_.size() && !EndsSection(entries_[k]); ++k)
        if (!TrimBlanks(entries_[k].raw).empty())
            insertAt = k + 1;
    Entry e;
    e.type = Entry::Type::Value;
    e.raw = std::move(*text);
    e.name = name;
    e.value = value;
    InsertEntry(insertAt, std::move(e));
    return true;
}
