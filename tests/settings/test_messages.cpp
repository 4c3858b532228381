#include "settings/messages.h"

#include "base/cp932.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <vector>

namespace {

// Each test gets its own executable path; the language file lies beside it.
class LanguageFile : public ::testing::Test {
protected:
    std::string exe() const { return dir.file("tessarine"); }
    void Load(const std::string& bytes)
    {
        dir.write("tessarine.rsl", bytes);
        messages = MessageCatalogue::Load(exe());
    }
    void ExpectEmpty(int from, int to) const
    {
        for (int n = from; n <= to; ++n)
            EXPECT_EQ(messages.Text(n), "") << "entry " << n;
    }
    // Code page 932 bytes of a UTF-8 literal, as a language file holds them.
    static std::string Sjis(const std::string& utf8) { return Utf8ToCp932(utf8).value(); }

    TempDir dir;
    MessageCatalogue messages;
};

} // namespace

TEST_F(LanguageFile, WithoutFileTheBuiltInTextsAreUsed)
{
    messages = MessageCatalogue::Load(exe());
    EXPECT_FALSE(messages.LanguageLoaded());
    EXPECT_EQ(messages.Text(1), "OK");
    EXPECT_EQ(messages.Text(5), "エラー");
    EXPECT_EQ(messages.Text(34), "%s:ドライブにディスクが挿入されていません。");
    EXPECT_EQ(messages.Text(41), "[%s] 復元中...");
    EXPECT_EQ(messages.Text(43), "正常に復元されました。");
    EXPECT_EQ(messages.Text(44), "正常に復元されました。次のメディアを準備して下さい。");
    EXPECT_EQ(messages.Text(67), "タイトルは必須入力項目です");
    ExpectEmpty(0, 0);
    ExpectEmpty(6, 33);
    ExpectEmpty(50, 53);
    ExpectEmpty(59, 66);
    // 68-74, 80-82: the drive answers; 75: deletion; 76-79: store and images in use
    // 83-91: unreadable sectors, incomplete images, verified restoration; 92-100: export and import;
    // 111-112: re-reading
    EXPECT_FALSE(messages.Text(111).empty());
    EXPECT_FALSE(messages.Text(112).empty());
    // Every built-in text must be representable in the code page the
    // original texts were written in.
    for (int n = 0; n < kMessageCount; ++n)
        EXPECT_TRUE(Utf8ToCp932(messages.Text(n)).has_value()) << "entry " << n;
}

// A catalogue is a value of its own: one built from a language file and
// one from the built-in texts live side by side.
TEST_F(LanguageFile, CataloguesAreSeparateValuesByTypedNumber)
{
    dir.write("tessarine.rsl", "[Font01]\r\nName=Noto\r\nSize=11\r\n[Strings]\r\n1=Okay\r\n2=Abort\r\n");
    const MessageCatalogue file = MessageCatalogue::Load(exe());
    std::filesystem::remove(dir.file("tessarine.rsl"));
    const MessageCatalogue builtIn = MessageCatalogue::Load(exe());

    EXPECT_TRUE(file.LanguageLoaded());
    EXPECT_EQ(file.Text(MessageId::OkButton), "Okay");
    EXPECT_EQ(file.Text(MessageId::CaptionConfirm), ""); // 3 > K = 2
    EXPECT_EQ(file.Font().name, "Noto");
    EXPECT_EQ(file.Font().size, 11);
    EXPECT_EQ(file.Font().charset, 128);

    EXPECT_FALSE(builtIn.LanguageLoaded());
    EXPECT_EQ(builtIn.Text(MessageId::OkButton), "OK");
    EXPECT_EQ(builtIn.Text(MessageId::ColumnTitle), "");
    EXPECT_EQ(builtIn.Text(kMessageCount), "");
    EXPECT_EQ(builtIn.Text(-1), "");
}

TEST_F(LanguageFile, FileReplacesEveryBuiltInTextAndSetsTheFont)
{
    Load("[Strings]\r\n1=Okay\r\n2=Abort\r\n3=Confirm\r\n");
    EXPECT_TRUE(messages.LanguageLoaded());
    EXPECT_EQ(messages.Text(1), "Okay");
    EXPECT_EQ(messages.Text(2), "Abort");
    EXPECT_EQ(messages.Text(3), "Confirm");
    ExpectEmpty(4, 100); // 43 and 44 too: no built-in text mixes in
    EXPECT_EQ(messages.Font().name, "MS UI Gothic");
    EXPECT_EQ(messages.Font().size, 9);
    EXPECT_EQ(messages.Font().charset, 128);

    Load("[Font01]\nName=Arial\nSize=12\n");
    EXPECT_EQ(messages.Font().name, "Arial");
    EXPECT_EQ(messages.Font().size, 12);
    ExpectEmpty(0, 100);

    Load("[Font01]\nName=\nSize=twelve\n");
    EXPECT_EQ(messages.Font().name, "");
    EXPECT_EQ(messages.Font().size, 9);
    Load("[Font01]\nSize=$10\n");
    EXPECT_EQ(messages.Font().size, 16);
    Load("[Font01]\nSize=99999999999\n");
    EXPECT_EQ(messages.Font().size, 9);
}

TEST_F(LanguageFile, NumbersAboveTheLineCountAreSkipped)
{
    Load("[Strings]\n3=Three\n40=Forty\n");
    ExpectEmpty(0, 100);

    // Lines without "=" and duplicates count as lines of the section.
    Load("[Strings]\nfiller\n1=a\n1=b\n3=Three\n");
    EXPECT_EQ(messages.Text(1), "b");
    EXPECT_EQ(messages.Text(3), "Three");

    // 0, negative, not a number, beyond the table: skipped.
    std::string many = "[Strings]\n0=zero\n-1=minus\nabc=x\n140=over\n99999999999=huge\n";
    for (int i = 0; i < 150; ++i)
        many += "; comments do not count\nline\n";
    Load(many);
    ExpectEmpty(0, 139);
}

TEST_F(LanguageFile, NumberNotationsBlanksAndLetterCase)
{
    std::string text = ";comment\r\n  [ sTrInGs ]  \r\n";
    for (int i = 0; i < 40; ++i)
        text += "x\r\n";
    Load(text + "034=leading zeros\r\n");
    EXPECT_EQ(messages.Text(34), "leading zeros");
    Load(text + "$22=dollar\r\n");
    EXPECT_EQ(messages.Text(34), "dollar");
    Load(text + "0x22=hex\r\n");
    EXPECT_EQ(messages.Text(34), "hex");
    Load(text + "  34   =   a = b   \t\r\n");
    EXPECT_EQ(messages.Text(34), "a = b");
    Load(text + "34=\r\n");
    EXPECT_EQ(messages.Text(34), "");

    Load("[FONT01]\nNAME=Tahoma\nsize=11\n");
    EXPECT_EQ(messages.Font().name, "Tahoma");
    EXPECT_EQ(messages.Font().size, 11);
}

TEST_F(LanguageFile, LineEndsCommentsAndSections)
{
    // CR LF, LF and CR mixed; a line before any section; a comment inside.
    Load("1=outside\r[Strings]\r1=one\n;2=comment\r\n2=two\r3=three");
    EXPECT_EQ(messages.Text(1), "one");
    EXPECT_EQ(messages.Text(2), "two");
    EXPECT_EQ(messages.Text(3), "three");

    // Only the last section of a name is read; other sections end a section.
    Load("[Strings]\n1=first\n2=first\n[Other]\n1=other\n[strings]\n1=last\n2=last\n[Font01]\n1=font\n");
    EXPECT_EQ(messages.Text(1), "last");
    EXPECT_EQ(messages.Text(2), "last");

    // A later name for the same number wins, whatever its notation.
    Load("[Strings]\n2=a\n02=b\n2=c\n");
    EXPECT_EQ(messages.Text(2), "c");
    Load("[Strings]\n2=a\n02=b\n");
    EXPECT_EQ(messages.Text(2), "b");

    // Entry 44 follows 43 directly.
    std::string filled = "[Strings]\n";
    for (int i = 1; i <= 42; ++i)
        filled += "x\n";
    Load(filled + "43=Done.\n44=Next.\n");
    EXPECT_EQ(messages.Text(44), "Done.Next.");
}

TEST_F(LanguageFile, TextsAreDecodedFromCodePage932OrUtf8WithMark)
{
    // 表 is 95 5C and ゾ is 83 5D in code page 932: their second bytes are
    // a backslash and a closing bracket.
    Load(Sjis("[Font01]\nName=ＭＳ Ｐゴシック\n[Strings]\n1=表示\n2=[ゾ]\n"));
    EXPECT_EQ(messages.Font().name, "ＭＳ Ｐゴシック");
    EXPECT_EQ(messages.Text(1), "表示");
    EXPECT_EQ(messages.Text(2), "[ゾ]");

    Load("\xEF\xBB\xBF[Strings]\n1=表示\n2=bad \xFF\xC0\x80 bytes\n");
    EXPECT_EQ(messages.Text(1), "表示");
    EXPECT_EQ(messages.Text(2), "bad \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD bytes");

    // Bytes that are not code page 932 are shown as U+FFFD.
    Load("[Strings]\n1=a\xA0z\n");
    EXPECT_EQ(messages.Text(1), "a\xEF\xBF\xBDz");
}

TEST_F(LanguageFile, UnreadableLanguageFileKeepsTheBuiltInTexts)
{
    std::filesystem::create_directory(dir.file("tessarine.rsl"));
    messages = MessageCatalogue::Load(exe());
    EXPECT_FALSE(messages.LanguageLoaded());
    EXPECT_EQ(messages.Text(1), "OK");
}

TEST_F(LanguageFile, PlaceholdersFromTheFileAreNotFormatDirectives)
{
    Load("[Strings]\n1=%n%n%n\n2=%s%s%s\n3=%d %x %p %\n");
    EXPECT_EQ(messages.Text(MessageId(1), "A"), "%n%n%n");
    EXPECT_EQ(messages.Text(MessageId(2), "A"), "AAA");
    EXPECT_EQ(messages.Text(MessageId(3), "A"), "%d %x %p %");
    EXPECT_EQ(messages.Text(MessageId(-1), "A"), "");
    EXPECT_EQ(messages.Text(MessageId(kMessageCount), "A"), "");

    messages = MessageCatalogue::Load(exe() + "-none");
    EXPECT_EQ(messages.Text(MessageId(34), "B"), "B:ドライブにディスクが挿入されていません。");
    EXPECT_EQ(messages.Text(MessageId(41), "%s"), "[%s] 復元中...");
}

TEST_F(LanguageFile, HostileFilesAreReadQuicklyAndSafely)
{
    using Clock = std::chrono::steady_clock;
    const auto timed = [&](const std::string& bytes) {
        const auto start = Clock::now();
        Load(bytes);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };

    EXPECT_LT(timed(""), 1.0);
    EXPECT_TRUE(messages.LanguageLoaded());
    ExpectEmpty(0, 100);

    std::mt19937 rng(42);
    std::string binary(10 * 1024 * 1024, '\0');
    for (char& c : binary)
        c = static_cast<char>(rng());
    EXPECT_LT(timed(binary), 10.0);
    EXPECT_TRUE(messages.LanguageLoaded());

    binary.replace(0, 11, "[Strings]\n1");
    EXPECT_LT(timed(binary), 10.0);

    std::string lines = "[Strings]\n";
    for (int i = 0; i < 100000; ++i)
        lines += std::to_string(i % 200) + "=text " + std::to_string(i) + "\n";
    EXPECT_LT(timed(lines), 10.0);
    EXPECT_EQ(messages.Text(1), "text 99801");
    EXPECT_EQ(messages.Text(100), "text 99900");
    EXPECT_EQ(messages.Text(0), "");

    const std::string longLine = "[Strings]\n1=" + std::string(10 * 1024 * 1024, 'x') + "\n";
    EXPECT_LT(timed(longLine), 10.0);
    EXPECT_EQ(messages.Text(1).size(), 10u * 1024 * 1024);

    // Far too large for a language file: not read at all.
    dir.write("tessarine.rsl", std::string(17 * 1024 * 1024, '\n'));
    messages = MessageCatalogue::Load(exe());
    EXPECT_FALSE(messages.LanguageLoaded());
    EXPECT_EQ(messages.Text(1), "OK");
}

TEST(ReplaceExtension, ReplacesOrAppendsOnTheFileNameOnly)
{
    EXPECT_EQ(ReplaceExtension("/usr/bin/tessarine", ".rsl"), "/usr/bin/tessarine.rsl");
    EXPECT_EQ(ReplaceExtension("/opt/t.exe", ".rsl"), "/opt/t.rsl");
    EXPECT_EQ(ReplaceExtension("/opt/a.b/tessarine", ".hlp"), "/opt/a.b/tessarine.hlp");
    EXPECT_EQ(ReplaceExtension("/opt/x.tar.gz", ".rsl"), "/opt/x.tar.rsl");
    EXPECT_EQ(ReplaceExtension("/home/u/.tessarine", ".rsl"), "/home/u/.tessarine.rsl");
    EXPECT_EQ(ReplaceExtension("tessarine", ".rsl"), "tessarine.rsl");
}

TEST(EscapeText, LineBreaksAndBackslashes)
{
    EXPECT_EQ(EscapeText("a\\b\r\nc"), "a\\\\b\\r\\nc");
    EXPECT_EQ(UnescapeText("a\\\\b\\r\\nc"), "a\\b\r\nc");
    EXPECT_EQ(UnescapeText("\\R\\N"), "\r\n");
    EXPECT_EQ(EscapeText("lone\r and \n"), "lone\r and \n");
    EXPECT_EQ(UnescapeText(EscapeText("\\r\\n")), "\\r\\n");
    EXPECT_EQ(UnescapeText("\\\\\\"), "\\\\"); // pairs first, an odd one stays
}

TEST(EscapeText, EveryShortTextSurvivesTheRoundTrip)
{
    const std::string alphabet = "a\\rnRN\r\n";
    std::string text;
    // All texts of up to five characters over the letters that matter.
    const auto visit = [&](auto& self, std::size_t depth) -> void {
        ASSERT_EQ(UnescapeText(EscapeText(text)), text);
        if (depth == 5)
            return;
        for (char c : alphabet) {
            text.push_back(c);
            self(self, depth + 1);
            text.pop_back();
        }
    };
    visit(visit, 0);
}

// The shipped English file must give every text the program shows: each
// built-in text, and each caption the windows take from the table. A new
// message without an English line fails here.
TEST(EnglishLanguageFile, SetsEveryEntryTheProgramUses)
{
    TempDir dir;
    MessageCatalogue messages = MessageCatalogue::Load(dir.file("tessarine"));
    std::vector<int> used;
    for (int n = 1; n < kMessageCount; ++n)
        if (!messages.Text(n).empty())
            used.push_back(n);
    for (int n : {6, 7, 8, 51, 52, 53, 59, 60})
        used.push_back(n);
    for (int n = 27; n <= 33; ++n)
        used.push_back(n);
    for (int n = 61; n <= 66; ++n)
        used.push_back(n);
    for (int n = 9; n <= 25; n += 2) // menu captions; their hints may be empty
        used.push_back(n);

    std::filesystem::copy_file(TESSARINE_ENGLISH_RSL, dir.file("tessarine.rsl"));
    messages = MessageCatalogue::Load(dir.file("tessarine"));
    ASSERT_TRUE(messages.LanguageLoaded());
    for (int n : used)
        EXPECT_FALSE(messages.Text(n).empty()) << "entry " << n << " has no English text";
    EXPECT_EQ(messages.Text(44).rfind(messages.Text(43), 0), 0u);
    EXPECT_EQ(messages.Text(MessageId(34), "A"), "There is no disk in drive A:.");
}

TEST_F(LanguageFile, LocaleEntryComesFromTheLastFontSectionOnly)
{
    EXPECT_EQ(LanguageLocaleName(exe()), "") << "no language file";
    dir.write("tessarine.rsl", "[Font01]\nName=X\n[Strings]\nLocale=fr\n");
    EXPECT_EQ(LanguageLocaleName(exe()), "");
    dir.write("tessarine.rsl", "[font01]\nLocale=fr\n[Strings]\n1=OK\n[FONT01]\n locale = de \nLOCALE=pt_BR\n");
    EXPECT_EQ(LanguageLocaleName(exe()), "pt_BR");
}
