#include "settings/messages.h"

#include "base/cp932.h"
#include "base/textconv.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace {

// A language file is a short list of texts; anything far larger is not one,
// and reading it whole would only cost memory.
constexpr std::uintmax_t kMaxLanguageFileSize = 16u * 1024u * 1024u;

struct BuiltInText {
    int number;
    const char* text;
};

constexpr BuiltInText kBuiltInTexts[] = {
    {1, "OK"},
    {2, "キャンセル"},
    {3, "確認"},
    {4, "注意"},
    {5, "エラー"},
    {34, "%s:ドライブにディスクが挿入されていません。"},
    {35, "イメージファイル生成中..."},
    {36, "中断されました"},
    {37, "ディスクを正常に読み取れませんでした"},
    {38, "正常に生成されました。"},
    {39, "イメージファイルの作成"},
    {40, "選択したイメージファイルを復元しますか？"},
    {41, "[%s] 復元中..."},
    {42, "ディスクに正常に書き込めませんでした"},
    {43, "正常に復元されました。"},
    {44, "次のメディアを準備して下さい。"},
    {45, "準備ができたらOKボタンを押して下さい。"},
    {46, "選択したイメージファイルを削除しますか？"},
    {47, "イメージファイルが存在しません"},
    {48, "ファイルリスト取得中..."},
    {49, "初期設定"},
    {54, "ドライブが存在しません。最初のドライブを使用します。"},
    {55, "イメージファイルの格納フォルダを指定して下さい"},
    {56, "ローカルドライブを指定して下さい"},
    {57, "フォルダが存在しません。新規作成しますか？"},
    {58, "フォルダを作成できませんでした"},
    {67, "タイトルは必須入力項目です"},
    {68, "%s:ドライブのデバイスが見つかりません。"},
    {69, "%s:ドライブへのアクセスが拒否されました。"},
    {70, "%s:ドライブは使用中です（マウントされているか、他のプログラムが使用しています）。"},
    {71, "%s:ドライブのディスクを読み取れません（セクタ0）。"},
    {72, "%s:ドライブを開けませんでした。"},
    {73, "デバイス: %s"},
    {74, "この席のデスクトップセッションから使うか、udevルールまたはudisks2でドライブの利用を許可して下さい。"},
    // 75: deletion.
    {75, "次のイメージファイルを削除できませんでした。%s"},
    // 76-79: the settings store, changes by other programs, images in use.
    {76, "設定ファイル %s は設定として考えられないほど大きくなっています（4 MiB超）。読み取れる範囲で読み込みます。"},
    {77, "イメージファイル %s のヘッダは、開いた後に他のプログラムが変更しました。その変更を上書きしますか？"},
    {78, "イメージファイル %s は使用中です（別のTessarineが作成、復元または編集しています）。"},
    {79, "作成中のイメージファイル %s が他のプログラムに削除されました。イメージファイルは作成されていません。"},
    {80, "%s:ドライブは別のTessarineが使用中です。"},
    {81, "udisks2が動いていないか、このデバイスを扱っていないため、udisks2経由でも開けませんでした。"},
    {82, "udisks2経由でも開けませんでした: %s"},
    {83, "セクタ %s を読み取れませんでした。読み取れないセクタを0で埋めて記録し、最後まで続けますか？"},
    {84, "読み取れないセクタが %s 個あるイメージファイルを作成しました。"},
    // 85-91: incomplete images, checked and verified restoration, re-reading.
    {85, "不完全なイメージファイルです（%s セクタ）。"},
    {86, "読み取れないセクタが %s 個あります。"},
    {87, "次のイメージファイルは復元できません。何も書き込んでいません。%s"},
    {88, "次のイメージファイルには読み取れないセクタ（0で埋めたもの）があります。このまま書き込みますか？%s"},
    {89, "[%s] 検証中..."},
    {90, "書き込んだディスクを読み返すとイメージファイルと一致しません。最初に異なるセクタ / 異なるセクタの数: %s"},
    {91, "読み取れないセクタを再読み込み"},
    // 92-100: export and import of the emulator disk formats.
    {92, "エクスポート…"},
    {93, "インポート…"},
    {94, "%s は既にあります。上書きしますか？"},
    {95, "エクスポートできませんでした: %s"},
    {96, "インポートできませんでした: %s"},
    {97, "イメージのインポート"},
    {98, "%s のジオメトリは不明です。ローデータとしてのみ扱います。"},
    {99, "エクスポートの形式"},
    {100, "%s 個のファイルをエクスポートしました。"},
    // 101-110: the command-line tool.
    {101, "%s: イメージファイルではありません。"},
    {102, "クラスタあたりのセクタ数"},
    {103, "セクタあたりのバイト数"},
    {104, "セクタ数"},
    {105, "ファイルサイズ"},
    {106, "残り %s"},
    {107, "イメージファイルが不完全です（%s バイト不足）。"},
    {108, "%s: 入力できる長さを超えています。"},
    {109, "ディスクあり"},
    {110, "確認が必要です。--yes を付けると確認なしで続けます。"},
    // 111-112: the outcome of re-reading unreadable sectors.
    {111, "読み取れないセクタを再読み込みしました。読み取れたセクタ / まだ読み取れないセクタ: %s"},
    {112, "読み取れないセクタをすべて読み取りました。マップを削除しました。"},
    // 113-117: what a transfer refuses to touch, an image file that cannot be
    // read, and a file system on the target that udisks2 did not unmount.
    {113, "%s: 仮想ドライブの長さがセクタサイズ（512 バイト）の倍数ではありません。使用できません。"},
    {114, "書き込み先 %s はイメージフォルダのファイルか設定ファイルです。何も書き込んでいません。"},
    {115, "ドライブのメディアはマウントされています（%s）。マウントを解除して続けますか？"},
    {116, "イメージファイル %s を読み込めませんでした。"},
    {117, "udisks2経由でもマウントを解除できませんでした: %s"},
    // 118: match without a dat file; 119-125: the information dialog and the dat match.
    {118, "dat ファイルが指定されておらず、%s にもありません。"},
    {119, "情報(&I)..."},
    {120, "情報"},
    {121, "ジオメトリ"},
    {122, "読めないセクタ"},
    {123, "一致: %s"},
    {124, "サイズは同じで内容が違います: %s"},
    {125, "不明"},
    // 126: an open waiting for udisks2 (and polkit's question to the user).
    {126, "udisks2 で %s を開くための認証を待っています..."},
    // 127-131: files that import or export cannot take.
    {127, "このプログラムが扱えるディスクイメージの形式ではありません。"},
    {128, "DIM 形式には %s のディスクを格納できません。"},
    {129, "%s バイトのファイルは 512 バイトのセクタの整数倍ではありません。"},
    {130, "%s バイトのファイルはフロッピーのイメージとしては大きすぎます。"},
    {131, "%s 形式のファイルとして読み取れません。"},
};

// The whole file, or nothing when it is not a regular file of sensible size
// or cannot be read.
std::optional<std::string> ReadLanguageFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxLanguageFileSize)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF)
        len = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlong forms
        if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else
        return 0;
    if (i + len > text.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return len;
}

// A file marked as UTF-8 may still hold bytes that are not; they become
// U+FFFD so that the table holds UTF-8 only.
std::string SanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8SequenceLength(text, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, len);
            i += len;
        }
    }
    return out;
}

// One meaningful line of an INI text; the views point into the reader and
// stay valid until its next line.
struct IniLine {
    bool isSection = false;
    std::string_view name;  // section name, or entry name
    std::string_view value; // entries only
};

// Walks the lines of a language file in order, skipping empty lines and
// comments. Each line is decoded on its own: CR and LF never occur inside a
// code page 932 character, and short conversions keep a hostile file cheap.
class IniLines {
public:
    explicit IniLines(std::string_view bytes) : bytes_(bytes)
    {
        constexpr std::string_view bom = "\xEF\xBB\xBF";
        utf8_ = bytes_.substr(0, bom.size()) == bom;
        if (utf8_)
            bytes_.remove_prefix(bom.size());
    }

    bool Next(IniLine& line)
    {
        while (pos_ < bytes_.size()) {
            std::size_t end = bytes_.find_first_of("\r\n", pos_);
            if (end == std::string_view::npos)
                end = bytes_.size();
            const std::string_view raw = bytes_.substr(pos_, end - pos_);
            pos_ = end;
            if (pos_ < bytes_.size()) {
                // CR LF, LF or CR ends a line.
                if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n')
                    ++pos_;
                ++pos_;
            }
            if (TrimBlanks(raw).empty())
                continue;
            text_ = utf8_ ? SanitizeUtf8(raw) : Cp932ToUtf8(raw);
            const std::string_view trimmed = TrimBlanks(text_);
            if (trimmed.front() == ';')
                continue;
            line = {};
            if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
                line.isSection = true;
                line.name = TrimBlanks(trimmed.substr(1, trimmed.size() - 2));
                return true;
            }
            const std::size_t eq = trimmed.find('=');
            if (eq == std::string_view::npos) {
                line.value = trimmed; // an entry with an empty name
            } else {
                line.name = TrimBlanks(trimmed.substr(0, eq));
                line.value = TrimBlanks(trimmed.substr(eq + 1));
            }
            return true;
        }
        return false;
    }

private:
    std::string_view bytes_;
    bool utf8_ = false;
    std::size_t pos_ = 0;
    std::string text_; // the current line, decoded
};

// Ordinals (1-based) of the last sections called "Font01" and "Strings"; 0
// where there is none.
struct ReadSections {
    int font = 0;
    int strings = 0;
};

ReadSections FindReadSections(std::string_view bytes)
{
    ReadSections found;
    IniLines lines(bytes);
    IniLine line;
    int ordinal = 0;
    while (lines.Next(line)) {
        if (!line.isSection)
            continue;
        ++ordinal;
        if (EqualsNoCase(line.name, "Font01"))
            found.font = ordinal;
        else if (EqualsNoCase(line.name, "Strings"))
            found.strings = ordinal;
    }
    return found;
}

} // namespace

void MessageCatalogue::ApplyLanguageFile(std::string_view bytes)
{
    const ReadSections sections = FindReadSections(bytes);

    std::optional<std::string> fontName, fontSize;
    // Only the last line naming a message number matters: any later line with
    // the same name would name the same number.
    std::array<std::optional<std::string>, kMessageCount> lastValue;
    std::size_t k = 0; // lines of the strings section

    IniLines lines(bytes);
    IniLine line;
    int ordinal = 0;
    while (lines.Next(line)) {
        if (line.isSection) {
            ++ordinal;
            continue;
        }
        if (ordinal == 0)
            continue; // lines before the first section
        if (ordinal == sections.font) {
            if (EqualsNoCase(line.name, "Name"))
                fontName = line.value;
            else if (EqualsNoCase(line.name, "Size"))
                fontSize = line.value;
        }
        if (ordinal == sections.strings) {
            ++k;
            const std::int32_t n = ParseInteger(line.name).value_or(0);
            if (n >= 1 && n < kMessageCount)
                lastValue[static_cast<std::size_t>(n)] = line.value;
        }
    }

    for (std::size_t n = 1; n < kMessageCount && n <= k; ++n)
        if (lastValue[n])
            texts_[n] = std::move(*lastValue[n]);
    const LanguageFontSpec defaults;
    font_.name = fontName ? *fontName : defaults.name;
    font_.size = fontSize ? ParseInteger(*fontSize).value_or(defaults.size) : defaults.size;
    font_.charset = defaults.charset;
}

MessageCatalogue MessageCatalogue::Load(const std::string& exePath)
{
    MessageCatalogue catalogue;
    // A language file that cannot be read leaves the built-in texts rather
    // than a program without captions.
    const std::optional<std::string> file = ReadLanguageFile(ReplaceExtension(exePath, ".rsl"));
    catalogue.loaded_ = file.has_value();
    if (catalogue.loaded_) {
        catalogue.ApplyLanguageFile(*file);
    } else {
        for (const BuiltInText& entry : kBuiltInTexts)
            catalogue.texts_[static_cast<std::size_t>(entry.number)] = entry.text;
    }
    std::string& next = catalogue.texts_[static_cast<std::size_t>(MessageId::NextMedium)];
    next = catalogue.Text(MessageId::Restored) + next;
    return catalogue;
}

const std::string& MessageCatalogue::Text(int n) const
{
    static const std::string none;
    if (n < 0 || n >= kMessageCount)
        return none;
    return texts_[static_cast<std::size_t>(n)];
}

std::string MessageCatalogue::Text(MessageId id, std::string_view arg) const
{
    return FillPlaceholder(Text(id), arg);
}

std::string LanguageLocaleName(const std::string& exePath)
{
    const std::optional<std::string> file = ReadLanguageFile(ReplaceExtension(exePath, ".rsl"));
    if (!file)
        return {};
    const int font = FindReadSections(*file).font;
    std::string locale;
    IniLines lines(*file);
    IniLine line;
    int ordinal = 0;
    while (lines.Next(line)) {
        if (line.isSection)
            ++ordinal;
        else if (font != 0 && ordinal == font && EqualsNoCase(line.name, "Locale"))
            locale = line.value;
    }
    return locale;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension)
{
    const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    const std::size_t dot = path.rfind('.');
    // A leading dot marks a hidden name, not an extension.
    if (dot != std::string::npos && dot > nameStart)
        return path.substr(0, dot) + extension;
    return path + extension;
}

std::string EscapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            out += "\\\\";
        } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\r\\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string UnescapeText(std::string_view text)
{
    // Two passes, in this order: the line breaks, then the doubled backslashes.
    std::string breaks;
    breaks.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 3 < text.size() && text[i] == '\\' && AsciiUpper(text[i + 1]) == 'R' && text[i + 2] == '\\' &&
            AsciiUpper(text[i + 3]) == 'N') {
            breaks += "\r\n";
            i += 3;
        } else {
            breaks += text[i];
        }
    }
    std::string out;
    out.reserve(breaks.size());
    for (std::size_t i = 0; i < breaks.size(); ++i) {
        out += breaks[i];
        if (breaks[i] == '\\' && i + 1 < breaks.size() && breaks[i + 1] == '\\')
            ++i;
    }
    return out;
}
