// The registry-export text on prepared input: what is read, what is written
// back, and that nothing in a hostile file is ever lost.
#include "settings/regtext.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {

const std::string kSys = "Software\\Orvane\\Tessarine\\System";

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::optional<std::string> Text(const RegDocument& doc, const std::string& name, const std::string& key = kSys)
{
    auto v = doc.FindValue(RegRoot::CurrentUser, key, name);
    if (!v)
        return std::nullopt;
    EXPECT_EQ(v->kind, RegKind::Sz) << name;
    return v->bytes;
}

RegValue Dword(std::uint32_t v)
{
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return {RegKind::Dword, b};
}

// Every line of before is still in after, in the same order.
void ExpectLinesKept(const std::string& before, const std::string& after)
{
    std::size_t from = 0, pos = 0;
    while (from < before.size()) {
        std::size_t nl = before.find('\n', from);
        std::string line = before.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
        std::size_t at = after.find(line, pos);
        ASSERT_NE(at, std::string::npos) << "lost line: " << line;
        pos = at + line.size();
        if (nl == std::string::npos)
            break;
        from = nl + 1;
    }
}

} // namespace

TEST(RegText, HandEditedFileIsUnderstoodAndWrittenBackUnchanged)
{
    const std::string file =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; settings copied from the old machine\r\n"
        "  [hkey_current_user\\SOFTWARE\\Orvane\\\\Tessarine\\System\\]  \r\n"
        "\"Drive\" =  \"B\"\r\n"
        "\t\"Dir\"=\"C:\\\\Images\\\\\"\r\n"
        "\"Title\"=\"say \\\"hi\\\" to C:\\temp\"\r\n"
        "@=\"default value\"\r\n"
        "\"Top\"=DWORD:0000007F\r\n"
        "\"Short\"=dword:7\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]\r\n"
        "\"Item1\"=\"a\\\\r\\\\nb\"\r\n";
    RegDocument doc = RegDocument::Parse(file);
    EXPECT_EQ(Text(doc, "drive"), Sz("B"));
    EXPECT_EQ(Text(doc, "Dir"), Sz("C:\\Images\\"));
    EXPECT_EQ(Text(doc, "Title"), Sz("say \"hi\" to C:\\temp")); // a lone backslash stands for itself
    EXPECT_EQ(Text(doc, ""), Sz("default value"));
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, kSys, "Top")->bytes, Dword(127).bytes);
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, kSys, "Short")->bytes, Dword(7).bytes);
    EXPECT_EQ(Text(doc, "Item1", "Software\\Orvane\\Tessarine\\History"), Sz("a\\r\\nb"));
    EXPECT_FALSE(doc.FindValue(RegRoot::LocalMachine, kSys, "Drive"));
    EXPECT_TRUE(doc.HasKey(RegRoot::CurrentUser, "Software\\Orvane"));
    EXPECT_FALSE(doc.HasKey(RegRoot::CurrentUser, "Software\\Orv"));
    EXPECT_EQ(doc.Serialize(), file);

    // A change touches one line, keeps the file's CR LF, and leaves the rest alone.
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, kSys, "Drive", {RegKind::Sz, Sz("C")}));
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, kSys, "Left", Dword(10)));
    std::string expected = file;
    expected.replace(expected.find("\"Drive\" =  \"B\""), 14, "\"Drive\"=\"C\"");
    expected.insert(expected.find("\r\n\r\n[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]") + 2,
                    "\"Left\"=dword:0000000a\r\n");
    EXPECT_EQ(doc.Serialize(), expected);
}

TEST(RegText, ByteListsOfEveryKind)
{
    const std::string file = "Windows Registry Editor Version 5.00\n"
                             "[HKEY_CURRENT_USER\\K]\n"
                             "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,e5,65,00,00\n"
                             "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                             "\"Bin\"=hex:01,FF, 2a ,\\\n"
                             "  00,\\\n"
                             "\t10\n"
                             "\"Empty\"=hex:\n"
                             "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
                             "\"OddText\"=hex(2):41,42,00\n"
                             "\"Lone\"=hex(1):00,d8,41,00\n";
    RegDocument doc = RegDocument::Parse(file);
    auto get = [&](const char* name) { return doc.FindValue(RegRoot::CurrentUser, "K", name); };
    EXPECT_EQ(get("Expand")->kind, RegKind::ExpandSz);
    EXPECT_EQ(get("Expand")->bytes, Sz("%TEMP%\\\xE6\x97\xA5"));
    EXPECT_EQ(get("Multi")->kind, RegKind::MultiSz);
    EXPECT_EQ(get("Multi")->bytes, std::string("a\0b\0\0", 5));
    EXPECT_EQ(get("Bin")->kind, RegKind::Binary);
    EXPECT_EQ(get("Bin")->bytes, std::string("\x01\xFF\x2A\x00\x10", 5));
    EXPECT_EQ(get("Empty")->bytes, "");
    EXPECT_EQ(static_cast<std::uint32_t>(get("Qword")->kind), 11u);
    // Lists that are not UTF-16 are handed over as they stand.
    EXPECT_EQ(get("OddText")->bytes, Sz("AB"));
    EXPECT_EQ(get("Lone")->bytes, std::string("\x00\xd8\x41\x00", 4));
    EXPECT_EQ(doc.Serialize(), file);
}

TEST(RegText, WrittenValuesReadBackExactly)
{
    RegDocument doc = RegDocument::Parse("");
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"Quoted \"name\" \\", {RegKind::Sz, Sz("back\\slash \"quote\" 日本語")}},
        {"Lines", {RegKind::Sz, Sz("one\r\ntwo\n")}},
        {"Nul", {RegKind::Sz, std::string("a\0b\0", 4)}},
        {"NoNul", {RegKind::Sz, "abc"}},
        {"Expand", {RegKind::ExpandSz, Sz("%HOME%")}},
        {"Long", {RegKind::Binary, std::string(300, '\x5A')}},
        {"Other", {static_cast<RegKind>(0x1234), "xy"}},
        {"Neg", Dword(0xFFFFFFFF)},
        {"", {RegKind::Sz, Sz("default")}},
    };
    for (const auto& [name, value] : values)
        ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "A\\B", name, value)) << name;
    const std::string text = doc.Serialize();
    for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        EXPECT_LE(nl - start, 80u) << "long lines are wrapped";

    RegDocument again = RegDocument::Parse(text);
    for (const auto& [name, value] : values) {
        auto got = again.FindValue(RegRoot::CurrentUser, "a\\b", name);
        ASSERT_TRUE(got) << name;
        EXPECT_EQ(static_cast<std::uint32_t>(got->kind), static_cast<std::uint32_t>(value.kind)) << name;
        EXPECT_EQ(got->bytes, value.bytes) << name;
    }
    EXPECT_EQ(again.Serialize(), text);
}

TEST(RegText, UnwritableValuesAreRefusedNotMangled)
{
    RegDocument doc = RegDocument::Parse("");
    // Text with a line break goes out as UTF-16; bytes that are not UTF-8 cannot.
    EXPECT_FALSE(doc.SetValue(RegRoot::CurrentUser, "K", "Bad", {RegKind::Sz, Sz("\x82\xA0\r\n")}));
    EXPECT_FALSE(doc.SetValue(RegRoot::CurrentUser, "K", "Two\nlines", {RegKind::Sz, Sz("x")}));
    EXPECT_EQ(doc.Serialize(), "");
    // Without a line break such bytes are kept as they are.
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "K", "Sjis", {RegKind::Sz, Sz("\x82\xA0")}));
    EXPECT_EQ(RegDocument::Parse(doc.Serialize()).FindValue(RegRoot::CurrentUser, "K", "Sjis")->bytes,
              Sz("\x82\xA0"));
}

TEST(RegText, DuplicatesReadTheLastAndChangeTheLast)
{
    const std::string file = "[HKEY_CURRENT_USER\\K]\n"
                             "\"V\"=\"first\"\n"
                             "\"Only\"=\"in first section\"\n"
                             "[HKEY_CURRENT_USER\\K]\n"
                             "\"V\"=\"second\"\n"
                             "\"v\"=\"third\"\n"
                             "\n";
    RegDocument doc = RegDocument::Parse(file);
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, "K", "V")->bytes, Sz("third"));
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, "K", "Only")->bytes, Sz("in first section"));
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "K", "V", {RegKind::Sz, Sz("new")}));
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "K", "Added", {RegKind::Sz, Sz("x")}));
    EXPECT_EQ(doc.Serialize(), "[HKEY_CURRENT_USER\\K]\n"
                               "\"V\"=\"first\"\n"
                               "\"Only\"=\"in first section\"\n"
                               "[HKEY_CURRENT_USER\\K]\n"
                               "\"V\"=\"second\"\n"
                               "\"V\"=\"new\"\n"
                               "\"Added\"=\"x\"\n"
                               "\n");
}

TEST(RegText, DamagedLinesAreKeptAndIgnored)
{
    const std::string bytes = "Windows Registry Editor Version 5.00\n"
                             "\"Orphan\"=\"before any section\"\n"
                             "[HKEY_CURRENT_USER\\K]\n"
                             "\"Open\"=\"no closing quote\n"
                             "\"Tail\"=\"x\" trailing words\n"
                             "\"BadHex\"=hex:01,0g\n"
                             "\"TooLong\"=dword:123456789\n"
                             "\"Comma\"=hex:01,\n"
                             "\"Gone\"=-\n"
                             "\"Good\"=\"yes\"\n"
                             "[HKEY_NOWHERE\\K]\n"
                             "\"Good\"=\"wrong root\"\n"
                             "[HKEY_CURRENT_USER\\K\n"
                             "\"Good\"=\"broken header\"\n"
                             "[-HKEY_CURRENT_USER\\K]\n"
                             "\"Good\"=\"deleted key\"\n"
                             "\x00\xFF\xFE garbage \x01\x02\n"
                             "[HKEY_CURRENT_USER\\K]\n"
                             "\"Cut\"=hex:01,02,\\\n"
                             "[HKEY_CURRENT_USER\\L]\n"
                             "\"Trunc\"=dwo"s;
    RegDocument doc = RegDocument::Parse(bytes);
    auto get = [&](const char* key, const char* name) { return doc.FindValue(RegRoot::CurrentUser, key, name); };
    EXPECT_EQ(get("K", "Good")->bytes, Sz("yes"));
    for (const char* name : {"Orphan", "Open", "Tail", "BadHex", "TooLong", "Comma", "Gone", "Cut"})
        EXPECT_FALSE(get("K", name)) << name;
    EXPECT_FALSE(get("L", "Trunc"));
    // The section after a truncated byte list is still a section.
    EXPECT_TRUE(doc.HasKey(RegRoot::CurrentUser, "L"));
    EXPECT_EQ(doc.Serialize(), bytes);

    // Writing keeps every damaged line; the cut last line gets its line end first.
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "L", "Trunc", Dword(1)));
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, "K", "Good", {RegKind::Sz, Sz("changed")}));
    const std::string after = doc.Serialize();
    std::string expected = bytes + "\n\"Trunc\"=dword:00000001\n";
    expected.replace(expected.find("\"Good\"=\"yes\""), 12, "\"Good\"=\"changed\"");
    EXPECT_EQ(after, expected);
}

TEST(RegText, NewFileLooksLikeAnExport)
{
    RegDocument doc = RegDocument::Parse("");
    doc.AddKey(RegRoot::CurrentUser, "Software\\Orvane\\Tessarine\\System");
    doc.AddKey(RegRoot::CurrentUser, "Software\\Orvane"); // exists through its subkey
    ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, kSys, "Drive", {RegKind::Sz, Sz("A")}));
    ASSERT_TRUE(doc.SetValue(RegRoot::LocalMachine, "", "Top", Dword(120)));
    EXPECT_EQ(doc.Serialize(), "Windows Registry Editor Version 5.00\n"
                               "\n"
                               "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\n"
                               "\"Drive\"=\"A\"\n"
                               "\n"
                               "[HKEY_LOCAL_MACHINE]\n"
                               "\"Top\"=dword:00000078\n"
                               "\n");
}

TEST(RegText, HugeValuesAndLongFiles)
{
    const std::string big(4 << 20, 'x');
    std::string file = "[HKEY_CURRENT_USER\\K]\n\"Big\"=\"" + big + "\"\n\"List\"=hex:";
    for (int i = 0; i < 200000; ++i)
        file += i % 20 == 19 ? "ab,\\\n  " : "ab,";
    file += "cd\n";
    RegDocument doc = RegDocument::Parse(file);
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, "K", "Big")->bytes.size(), big.size() + 1);
    EXPECT_EQ(doc.FindValue(RegRoot::CurrentUser, "K", "List")->bytes.size(), 200001u);
    EXPECT_EQ(doc.Serialize(), file);
}

// Random damage to a valid file: parsing never fails, the text round-trips,
// and a change keeps every line that was there.
TEST(RegText, RandomlyDamagedFilesLoseNothing)
{
    const std::string sample = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
                               "\"Drive\"=\"A\"\r\n\"Top\"=dword:00000078\r\n"
                               "\"Bin\"=hex:01,02,03,\\\r\n  04,05\r\n"
                               "\"Multi\"=hex(7):61,00,00,00,00,00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]\r\n"
                               "\"Item1\"=\"a \\\"b\\\" \\\\r\\\\n\"\r\n";
    std::mt19937 rng(12345);
    const std::string alphabet = "[]\"\\=@:,\r\n hexdword(27)0fF\xEF\xBB\xBF";
    for (int round = 0; round < 3000; ++round) {
        std::string text = sample;
        int edits = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < edits && !text.empty(); ++k) {
            std::size_t at = rng() % text.size();
            switch (rng() % 4) {
            case 0: text.erase(at, 1 + rng() % 8); break;
            case 1: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            case 2: text[at] = static_cast<char>(rng() % 256); break;
            default: text.resize(at); break;
            }
        }
        RegDocument doc = RegDocument::Parse(text);
        ASSERT_EQ(doc.Serialize(), text);
        ASSERT_TRUE(doc.SetValue(RegRoot::CurrentUser, kSys, "Zq9", Dword(7)));
        const std::string after = doc.Serialize();
        ExpectLinesKept(text, after);
        if (HasFatalFailure())
            FAIL() << "round " << round;
        auto top = RegDocument::Parse(after).FindValue(RegRoot::CurrentUser, kSys, "Zq9");
        ASSERT_TRUE(top) << "round " << round;
        ASSERT_EQ(top->bytes, Dword(7).bytes) << "round " << round;
    }
}
