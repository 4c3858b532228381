#include "library/tosecname.h"

#include <cctype>
#include <vector>

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool LooksLikeYear(std::string_view g)
{
    if (g.size() < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = g[i];
        if (!(std::isdigit(static_cast<unsigned char>(c)) || (i >= 2 && (c == 'x' || c == 'X'))))
            return false;
    }
    return g.size() == 4 || g[4] == '-';
}

// Language ("en", "ja-en") and country ("JP", "US-EU") notes: short letter codes.
bool LooksLikeCode(std::string_view g)
{
    if (g.empty() || g.size() > 11)
        return false;
    for (char c : g)
        if (!(std::isalpha(static_cast<unsigned char>(c)) || c == '-'))
            return false;
    return g.size() == 2 || (g.size() > 2 && g[2] == '-');
}

std::string Trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

TosecName ParseTosecName(std::string_view fileName)
{
    if (const auto slash = fileName.find_last_of('/'); slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    if (const auto dot = fileName.find_last_of('.'); dot != std::string_view::npos && dot > 0)
        fileName = fileName.substr(0, dot);
    TosecName out;
    const auto open = fileName.find(" (");
    out.title = Trim(fileName.substr(0, open));
    if (open == std::string_view::npos)
        return out;
    // The groups in round brackets; square-bracket flags ([cr], [a]) are skipped.
    std::vector<std::string_view> groups;
    std::string_view rest = fileName.substr(open + 1);
    while (!rest.empty()) {
        const char c = rest.front();
        const char close = c == '(' ? ')' : c == '[' ? ']' : '\0';
        if (close == '\0') {
            rest.remove_prefix(1);
            continue;
        }
        const auto end = rest.find(close);
        if (end == std::string_view::npos)
            break;
        if (c == '(')
            groups.push_back(rest.substr(1, end - 1));
        rest.remove_prefix(end + 1);
    }
    std::size_t next = 0;
    if (next < groups.size() && LooksLikeYear(groups[next]))
        out.year = std::string(groups[next++].substr(0, 4));
    if (!out.year.empty() && next < groups.size()) {
        out.publisher = groups[next] == "-" ? std::string() : std::string(groups[next]);
        ++next;
    }
    for (; next < groups.size(); ++next) {
        const std::string_view g = groups[next];
        if (StartsWith(g, "Disk ") || StartsWith(g, "Side ")) {
            if (out.disk.empty())
                out.disk = std::string(g);
        } else if (out.system.empty() && !LooksLikeCode(g) && !out.year.empty()) {
            out.system = std::string(g);
        }
    }
    return out;
}
