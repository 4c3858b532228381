#include "library/datmatch.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstdlib>

namespace {

std::string LowerHex(const char* s)
{
    std::string v(s);
    for (char& c : v)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return v;
}

void AddRoms(const pugi::xml_node& owner, const std::string& game, DatFile& out)
{
    for (const pugi::xml_node& rom : owner.children("rom")) {
        if (rom.attribute("status") && std::string_view(rom.attribute("status").value()) == "nodump")
            continue;
        DatRom r;
        r.game = game;
        r.rom = rom.attribute("name").value();
        r.size = std::strtoull(rom.attribute("size").value(), nullptr, 0);
        r.crc32 = LowerHex(rom.attribute("crc").value());
        r.md5 = LowerHex(rom.attribute("md5").value());
        r.sha1 = LowerHex(rom.attribute("sha1").value());
        out.roms.push_back(std::move(r));
    }
}

} // namespace

std::string ParseDat(std::string_view xml, DatFile& out)
{
    out.name.clear();
    out.roms.clear();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        return std::string("not an XML file: ") + parsed.description() + " at byte " + std::to_string(parsed.offset);
    if (const pugi::xml_node datafile = doc.child("datafile")) {
        out.name = datafile.child("header").child_value("name");
        for (const pugi::xml_node& game : datafile.children()) {
            const std::string_view kind = game.name();
            if (kind == "game" || kind == "machine")
                AddRoms(game, game.attribute("name").value(), out);
        }
        return {};
    }
    if (const pugi::xml_node list = doc.child("softwarelist")) {
        out.name = list.attribute("description").value();
        if (out.name.empty())
            out.name = list.attribute("name").value();
        for (const pugi::xml_node& software : list.children("software"))
            for (const pugi::xml_node& part : software.children("part"))
                for (const pugi::xml_node& area : part.children("dataarea"))
                    AddRoms(area, software.attribute("name").value(), out);
        return {};
    }
    return "an XML file, but no dat (neither datafile nor softwarelist)";
}

DatMatch MatchDats(const std::vector<DatFile>& dats, const DataHashes& hashes)
{
    DatMatch sizeOnly;
    for (const DatFile& dat : dats)
        for (const DatRom& rom : dat.roms) {
            if (rom.size != hashes.size)
                continue;
            const bool anyListed = !rom.crc32.empty() || !rom.md5.empty() || !rom.sha1.empty();
            const bool agrees = (rom.crc32.empty() || rom.crc32 == hashes.crc32) &&
                                (rom.md5.empty() || rom.md5 == hashes.md5) &&
                                (rom.sha1.empty() || rom.sha1 == hashes.sha1);
            if (anyListed && agrees)
                return {MatchKind::Matched, &dat, &rom};
            if (sizeOnly.kind == MatchKind::Unknown)
                sizeOnly = {MatchKind::SizeOnly, &dat, &rom};
        }
    return sizeOnly;
}
