// The settings store through its file backend: the rules for values and
// kinds, the error texts, what the file looks like, failed writes, and
// several writers at once.
#include "settings/regstore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/messages.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kSysSection = "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\n";

struct StoreFixture : ::testing::Test {
    TempDir dir;
    std::string folder = dir.file("config/Orvane");
    std::string path = folder + "/Tessarine.reg";
    RegStore store{MakeFileBackend(path)};

    void WriteFile(const std::string& bytes)
    {
        fs::create_directories(folder);
        dir.write("config/Orvane/Tessarine.reg", bytes);
    }
    std::string ReadFile() { return dir.read("config/Orvane/Tessarine.reg"); }
    std::vector<std::string> FolderNames()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The error text the call raises, or "" when it raises nothing.
std::string RaisedText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const RegError& e) {
        return e.what();
    }
    return "";
}

// Runs body in a child process and returns its exit code; the child writes
// its own diagnostics to stderr.
int InChild(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (const std::exception& e) {
            std::cerr << "child: " << e.what() << "\n";
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// InChild with files that may not grow past 16 bytes, as on a full disk.
int OnAFullDisk(const std::function<int()>& body)
{
    return InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        return setrlimit(RLIMIT_FSIZE, &limit) != 0 ? 77 : body();
    });
}

// In a child, where a failed EXPECT would not be seen: tells a wrong text on stderr.
bool RaisedIs(const std::string& raised, const std::string& wanted)
{
    if (raised != wanted)
        std::cerr << "raised: [" << raised << "], wanted [" << wanted << "]\n";
    return raised == wanted;
}

// What the folder holds after a write: the store and the lock beside it.
const std::vector<std::string> kStoreAndLock{"Tessarine.reg", "Tessarine.reg.lock"};

} // namespace

TEST_F(StoreFixture, FreshMachineReadsDefaultsAndCreatesNothing)
{
    // The main window's first show, in its order, with its defaults.
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", "A"), "A");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ".\\Images\\"), ".\\Images\\");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "MultiSelect", 0), 0);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column" + std::to_string(i), 66), 66);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Height", 320), 320);
    EXPECT_EQ(store.RegReadString(0, kHistoryKey, "Item1", ""), "");
    EXPECT_FALSE(fs::exists(dir.file("config")));

    // A store holding other keys only: still defaults, and not even a lock file appears.
    const std::string other = kHeader + "[HKEY_CURRENT_USER\\Software\\Elsewhere]\n\"Top\"=dword:00000001\n";
    WriteFile(other);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 0);
    EXPECT_EQ(store.RegReadInteger(0, "Software\\Elsewhere", "Top", 5), 1);
    EXPECT_EQ(ReadFile(), other);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"Tessarine.reg"});

    // The first write creates the whole path.
    fs::remove_all(dir.file("config"));
    store.RegWriteString(0, kSystemKey, "Drive", "B");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "B");
    EXPECT_EQ(ReadFile(), kHeader + kSysSection + "\"Drive\"=\"B\"\n\n");
    EXPECT_EQ(FolderNames(), kStoreAndLock);
}

TEST_F(StoreFixture, StoredValuesFollowTheRules)
{
    WriteFile(kHeader + kSysSection +
              "\"Drive\"=\"\"\n"
              "\"Top\"=\"120\"\n"
              "\"Left\"=\"abc\"\n"
              "\"Column1\"=dword:00000078\n"
              "\"Column2\"=\"  -5\"\n"
              "\"Column3\"=\"$FF\"\n"
              "\"Column4\"=hex(b):01,00,00,00,00,00,00,00\n"
              "\"Column5\"=dword:ffffffff\n"
              "\"Height\"=hex(7):33,00,30,00,00,00,00,00\n"
              "\"Width\"=\"640\"\n"
              "\"Dir\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00,00,00\n"
              "\"Blank\"=hex:\n");
    // An empty Drive reads as empty whatever the default: the first-run test sees "absent".
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", "A"), "");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 120);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Left", 0), 0);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column1", 66), 120);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column2", 66), -5);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column3", 66), 255);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column4", 66), 66);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column5", 66), -1);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Height", 320), 320);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Width", 480), 640);
    // Expandable text is taken literally; an empty value of another kind is empty text.
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ".\\Images\\"), "%HOME%\\");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Blank", "x"), "");
    // Value names and key paths ignore case.
    EXPECT_EQ(store.RegReadInteger(0, "software\\ORVANE\\tessarine\\system", "TOP", 0), 120);

    // Width stored as text is replaced by a number.
    store.RegWriteInteger(0, kSystemKey, "Width", 800);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Width", 480), 800);
    const std::string after = ReadFile();
    EXPECT_NE(after.find("\"Width\"=dword:00000320\n"), std::string::npos);
    EXPECT_EQ(after.find("\"Width\"=\"640\""), std::string::npos);
    // And the other way round: a number rewritten as text.
    store.RegWriteString(0, kSystemKey, "Column1", "77");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Column1", 66), 77);
}

TEST_F(StoreFixture, WrongKindsRaiseTheirTexts)
{
    WriteFile(kHeader + kSysSection +
              "\"Top\"=dword:00000078\n"
              "\"Bin4\"=hex:01,02,03,04\n"
              "\"Bin5\"=hex:01,02,03,04,05\n"
              "\"Exp3\"=hex(2):31,00,32,00,00,00\n"
              "\"Exp5\"=hex(2):31,00,32,00,33,00,34,00,00,00\n"
              "\"Wide\"=hex(4):01,00,00,00,00,00,00,00\n"
              "\"Multi\"=hex(7):61,00,00,00,00,00\n");
    auto readInt = [&](const char* name) { return RaisedText([&] { store.RegReadInteger(0, kSystemKey, name, 1); }); };
    auto readText = [&](const char* name) { return RaisedText([&] { store.RegReadString(0, kSystemKey, name, ""); }); };
    EXPECT_EQ(readText("Top"), "'Top' のデータ型が不正です");
    EXPECT_EQ(readText("Multi"), "'Multi' のデータ型が不正です");
    EXPECT_EQ(readInt("Bin4"), "'Bin4' のデータ型が不正です");
    EXPECT_EQ(readInt("Bin5"), "'Bin5' の取得に失敗しました");
    // Sizes count the text as the program sees it: "12" and its NUL are three bytes.
    EXPECT_EQ(readInt("Exp3"), "'Exp3' のデータ型が不正です");
    EXPECT_EQ(readInt("Exp5"), "'Exp5' の取得に失敗しました");
    EXPECT_EQ(readInt("Wide"), "'Wide' の取得に失敗しました");
    EXPECT_EQ(readInt("Multi"), ""); // other kinds give the default
}

TEST_F(StoreFixture, HistoryTextsAreOneLineAndComeBackWhole)
{
    const std::string history = "Disk \"A\" of C:\\GAMES\r\n日本語のタイトル\r\n";
    store.RegWriteString(0, kHistoryKey, "Item1", EscapeText(history));
    const std::string file = ReadFile();
    EXPECT_NE(file.find("\n\"Item1\"=\"Disk \\\"A\\\" of C:\\\\\\\\GAMES\\\\r\\\\n日本語のタイトル\\\\r\\\\n\"\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(UnescapeText(store.RegReadString(0, kHistoryKey, "Item1", "")), history);

    // Text with real line breaks cannot sit on a quoted line; it still comes back whole.
    store.RegWriteString(0, kHistoryKey, "Item2", history);
    EXPECT_EQ(store.RegReadString(0, kHistoryKey, "Item2", ""), history);
}

TEST_F(StoreFixture, RoundTripMatchesAHandWrittenExport)
{
    // The configuration dialog, the window's destruction, the property dialog.
    store.RegWriteString(0, kSystemKey, "Drive", "B");
    store.RegWriteString(0, kSystemKey, "Dir", "/home/u/Images\\");
    for (const auto& [name, v] : std::vector<std::pair<const char*, int>>{
             {"Top", 120}, {"Left", -8}, {"Height", 320}, {"Width", 480}, {"Column1", 66}})
        store.RegWriteInteger(0, kSystemKey, name, v);
    store.RegWriteString(0, kHistoryKey, "Item1", "Title one\\r\\nTitle \"two\"\\r\\n");
    store.RegWriteString(0, kHistoryKey, "Item4", "");
    store.RegWriteInteger(3, kSystemKey, "Top", 1); // root code 3: the local machine
    store.RegWriteInteger(0, kSystemKey, "Top", 121);

    const std::string expected = "Windows Registry Editor Version 5.00\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\n"
                                 "\"Drive\"=\"B\"\n"
                                 "\"Dir\"=\"/home/u/Images\\\\\"\n"
                                 "\"Top\"=dword:00000079\n"
                                 "\"Left\"=dword:fffffff8\n"
                                 "\"Height\"=dword:00000140\n"
                                 "\"Width\"=dword:000001e0\n"
                                 "\"Column1\"=dword:00000042\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]\n"
                                 "\"Item1\"=\"Title one\\\\r\\\\nTitle \\\"two\\\"\\\\r\\\\n\"\n"
                                 "\"Item4\"=\"\"\n"
                                 "\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Orvane\\Tessarine\\System]\n"
                                 "\"Top\"=dword:00000001\n"
                                 "\n";
    EXPECT_EQ(ReadFile(), expected);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Left", 0), -8);
    EXPECT_EQ(store.RegReadInteger(3, kSystemKey, "Top", 0), 1);
    EXPECT_EQ(store.RegReadInteger(7, kSystemKey, "Top", 0), 121); // unknown codes mean the current user
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ""), "/home/u/Images\\");
}

TEST_F(StoreFixture, HandEditedFileKeepsItsShapeWhenWritten)
{
    const std::string before = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                               "\r\n"
                               "; my settings\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
                               "  \"Drive\"  =  \"a\"   \r\n"
                               "\"Dir\"=\"D:\\\\Floppies\\\\\"\r\n"
                               "\r\n";
    WriteFile(before);
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "a");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ""), "D:\\Floppies\\");
    store.RegWriteInteger(0, kSystemKey, "Top", 5);
    EXPECT_EQ(ReadFile(), "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                          "\r\n"
                          "; my settings\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
                          "  \"Drive\"  =  \"a\"   \r\n"
                          "\"Dir\"=\"D:\\\\Floppies\\\\\"\r\n"
                          "\"Top\"=dword:00000005\r\n"
                          "\r\n");
    // Writing what is already stored leaves the file alone.
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const ino_t inode = st.st_ino;
    store.RegWriteInteger(0, kSystemKey, "Top", 5);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);
}

TEST_F(StoreFixture, DamagedFilesNeverCrashAndLoseNothing)
{
    std::mt19937 rng(7);
    std::string garbage;
    for (int i = 0; i < 20000; ++i)
        garbage += static_cast<char>(rng() % 256);
    const std::vector<std::string> files = {
        garbage,
        kHeader + kSysSection + "\"Top\"=dwor",              // cut mid-line
        kHeader + kSysSection + "\"Top\"=hex:01,02,\\",       // cut inside a continued list
        kHeader + kSysSection + "\"Drive\"=\"A\n\"Dir\"=\"x\"\n", // a quote never closed
        std::string("\0\0\0\0", 4),
    };
    for (const std::string& damaged : files) {
        WriteFile(damaged);
        EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 7), 7);
        store.RegWriteInteger(0, kSystemKey, "Width", 600);
        const std::string after = ReadFile();
        EXPECT_EQ(after.substr(0, damaged.size()), damaged) << "damaged content is kept as it stood";
        EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Width", 0), 600);
    }
}

TEST_F(StoreFixture, StoreThatIsNotAFileIsNeverReplaced)
{
    fs::create_directories(path); // a folder where the file should be
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 4), 4);
    EXPECT_EQ(RaisedText([&] { store.RegWriteString(0, kSystemKey, "Drive", "A"); }),
              "キー Software\\Orvane\\Tessarine\\System の作成に失敗しました");
    EXPECT_EQ(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Top", 1); }), "'Top' の設定に失敗しました");
    EXPECT_TRUE(fs::is_directory(path));
    fs::remove(path);

    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); // must not hang either
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", "A"), "A");
    EXPECT_NE(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Top", 1); }), "");
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST_F(StoreFixture, FolderThatCannotBeCreatedRaisesTheKeyText)
{
    fs::create_directories(dir.file("config"));
    dir.write("config/Orvane", "a file where the folder should be");
    EXPECT_EQ(RaisedText([&] { store.RegWriteString(0, kHistoryKey, "Item1", "x"); }),
              "キー Software\\Orvane\\Tessarine\\History の作成に失敗しました");
    EXPECT_EQ(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Top", 1); }), "'Top' の設定に失敗しました");
    EXPECT_EQ(dir.read("config/Orvane"), "a file where the folder should be");
}

TEST_F(StoreFixture, WriteIntoReadOnlyFolderRaisesAndKeepsTheOldFile)
{
    const std::string before = kHeader + kSysSection + "\"Drive\"=\"A\"\n\n";
    WriteFile(before);
    store.RegWriteInteger(0, kSystemKey, "Top", 1); // the lock file now exists
    const std::string old = ReadFile();

    // Root is not stopped by permissions: it gets a read-only mount of the
    // folder in a mount namespace of its own, which ends with the child.
    int code = InChild([&] {
        if (geteuid() == 0) {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                return 77;
        } else if (chmod(folder.c_str(), 0555) != 0) {
            return 77;
        }
        if (!RaisedIs(RaisedText([&] { store.RegWriteString(0, kSystemKey, "Drive", "B"); }),
                      "'Drive' の設定に失敗しました") ||
            !RaisedIs(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Top", 2); }), "'Top' の設定に失敗しました"))
            return 1;
        // Reading still works.
        return store.RegReadString(0, kSystemKey, "Drive", "") == "A" ? 0 : 2;
    });
    chmod(folder.c_str(), 0755);
    if (code == 77)
        GTEST_SKIP() << "cannot make the folder read-only here (no mount namespace)";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(), old);
    EXPECT_EQ(FolderNames(), kStoreAndLock);
}

TEST_F(StoreFixture, FullDiskRaisesAndKeepsTheOldFile)
{
    WriteFile(kHeader + kSysSection + "\"Drive\"=\"A\"\n\n");
    const std::string old = ReadFile();
    const int code = OnAFullDisk([&] {
        return RaisedIs(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Width", 640); }),
                        "'Width' の設定に失敗しました")
                   ? 0
                   : 1;
    });
    ASSERT_NE(code, 77) << "setrlimit failed";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(), old);
    EXPECT_EQ(FolderNames(), kStoreAndLock);
}

TEST_F(StoreFixture, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kEach = 500;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            close(go[1]);
            char c;
            (void)!read(go[0], &c, 1); // both start when the pipe closes
            int code = 0;
            try {
                RegStore mine(MakeFileBackend(path));
                for (int i = 0; i < kEach; ++i)
                    mine.RegWriteInteger(0, kSystemKey, "P" + std::to_string(p) + "_" + std::to_string(i), i);
            } catch (const std::exception& e) {
                std::cerr << "writer " << p << ": " << e.what() << "\n";
                code = 1;
            }
            _exit(code);
        }
        children.push_back(pid);
    }
    close(go[0]);
    close(go[1]);
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int found = 0;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kEach; ++i)
            found += store.RegReadInteger(0, kSystemKey, "P" + std::to_string(p) + "_" + std::to_string(i), -1) == i;
    EXPECT_EQ(found, 2 * kEach);
    EXPECT_EQ(FolderNames(), kStoreAndLock);
}

TEST_F(StoreFixture, LinkedStoreStaysALink)
{
    fs::create_directories(folder);
    const std::string real = dir.file("dotfiles.reg");
    dir.write("dotfiles.reg", kHeader);
    fs::create_symlink(real, path);
    store.RegWriteInteger(0, kSystemKey, "Top", 3);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(dir.read("dotfiles.reg"), kHeader + kSysSection + "\"Top\"=dword:00000003\n\n");
}

TEST(DefaultStorePath, FollowsTheBaseDirectoryRules)
{
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
    setenv("HOME", "/home/user", 1);
    setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    EXPECT_EQ(DefaultStorePath(), "/srv/conf/Orvane/Tessarine.reg");
    setenv("XDG_CONFIG_HOME", "relative/conf", 1);
    EXPECT_EQ(DefaultStorePath(), "/home/user/.config/Orvane/Tessarine.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultStorePath(), "/home/user/.config/Orvane/Tessarine.reg");
    savedXdg ? setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
}

// --- the kept parse, oversized stores, left temporary files, transactions ---

namespace {

// Little-endian UTF-16 bytes of a text, as regedit saves a file.
std::string Utf16Bytes(std::u16string_view text)
{
    std::string out;
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

} // namespace

// Every call sees the file as it is now, whatever this store kept of it.
TEST_F(StoreFixture, KeptParseNeverHidesAChangeByAnotherProgram)
{
    WriteFile(kHeader + kSysSection + "\"Top\"=dword:00000001\n");
    // Old enough that the kept parse is trusted.
    usleep(250'000);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 1);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 1);
    // In place, same size, at once after the read.
    WriteFile(kHeader + kSysSection + "\"Top\"=dword:00000002\n");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 2);
    // Twice within one tick of the file clock, same size: the second is seen too.
    WriteFile(kHeader + kSysSection + "\"Top\"=dword:00000003\n");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 3);
    WriteFile(kHeader + kSysSection + "\"Top\"=dword:00000004\n");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 4);
    // Replaced by rename, as editors save.
    dir.write("other.reg", kHeader + kSysSection + "\"Top\"=dword:00000005\n");
    fs::rename(dir.file("other.reg"), path);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 5);
    // Written by this store, then by another one: both land, each sees the other.
    store.RegWriteInteger(0, kSystemKey, "Left", 6);
    RegStore other(MakeFileBackend(path));
    EXPECT_EQ(other.RegReadInteger(0, kSystemKey, "Left", 0), 6);
    other.RegWriteInteger(0, kSystemKey, "Top", 7);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 7);
    store.RegWriteInteger(0, kSystemKey, "Width", 8);
    EXPECT_EQ(other.RegReadInteger(0, kSystemKey, "Top", 0), 7);
    EXPECT_EQ(other.RegReadInteger(0, kSystemKey, "Width", 0), 8);
    // Gone: defaults again.
    fs::remove(path);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", -1), -1);
}

TEST_F(StoreFixture, OversizedStoreIsToldOnceAndReadAsFarAsItParses)
{
    std::string junk = kHeader + "[HKEY_CURRENT_USER\\Software\\Junk]\n";
    const std::string firstName = "J" + std::to_string(junk.size());
    while (junk.size() <= kOversizedStore)
        junk += "\"J" + std::to_string(junk.size()) + "\"=\"" + std::string(200, 'x') + "\"\n";
    WriteFile(junk + "\x01\x02 not a line of an export\n" + kSysSection + "\"Top\"=dword:00000078\n");
    EXPECT_EQ(store.TakeOversizedStore(), "");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 120);
    EXPECT_EQ(store.TakeOversizedStore(), path);
    EXPECT_EQ(store.TakeOversizedStore(), "");
    store.RegWriteInteger(0, kSystemKey, "Left", 3);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Left", 0), 3);
    EXPECT_EQ(store.RegReadString(0, "Software\\Junk", firstName, ""),
              std::string(200, 'x'));
    EXPECT_EQ(store.TakeOversizedStore(), "") << "told once, not at every read";
    // A small store is never told.
    WriteFile(kHeader);
    RegStore small(MakeFileBackend(path));
    small.RegReadInteger(0, kSystemKey, "Top", 0);
    EXPECT_EQ(small.TakeOversizedStore(), "");
}

TEST_F(StoreFixture, TemporaryFileLeftByACrashGoesAtTheNextWrite)
{
    WriteFile(kHeader);
    // A writer killed between writing its temporary file and the rename.
    const int code = InChild([&] {
        RegStore dying(MakeFileBackend(path));
        dying.Transaction([&] {
            dying.RegWriteInteger(0, kSystemKey, "Top", 1);
            // What the commit does first, cut short.
            std::string pattern = path + ".tmpXXXXXX";
            int fd = mkstemp(pattern.data());
            (void)!write(fd, "half", 4);
            raise(SIGKILL);
        });
        return 0;
    });
    EXPECT_NE(code, 0);
    dir.write("config/Orvane/Tessarine.reg.backup", "mine");
    dir.write("config/Orvane/Tessarine.reg.tmp", "mine too");
    fs::create_directory(folder + "/Tessarine.reg.tmpFolder");
    EXPECT_EQ(FolderNames().size(), 6u);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 0) << "the killed write did not land";
    EXPECT_EQ(FolderNames().size(), 6u) << "reading removes nothing";
    store.RegWriteInteger(0, kSystemKey, "Top", 2);
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"Tessarine.reg", "Tessarine.reg.backup", "Tessarine.reg.lock",
                                                       "Tessarine.reg.tmp", "Tessarine.reg.tmpFolder"}));
}

TEST_F(StoreFixture, TransactionSeesNoOtherWriterAndLandsAsOneFile)
{
    WriteFile(kHeader + kSysSection + "\"Top\"=dword:00000001\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const ino_t before = st.st_ino;
    // Forked before the lock is taken: a child would inherit it otherwise.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        close(go[1]);
        char c;
        (void)!read(go[0], &c, 1);
        RegStore other(MakeFileBackend(path));
        other.Transaction([&] {
            other.RegWriteInteger(0, kSystemKey, "Top", other.RegReadInteger(0, kSystemKey, "Top", 0) + 10);
        });
        _exit(0);
    }
    close(go[0]);
    store.Transaction([&] {
        close(go[1]); // the writer starts now
        usleep(200'000);
        int status = 0;
        EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0) << "the other writer waits for the lock";
        const int top = store.RegReadInteger(0, kSystemKey, "Top", 0);
        store.RegWriteInteger(0, kSystemKey, "Top", top + 1);
        store.RegWriteInteger(0, kSystemKey, "Left", 5);
        EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 2) << "its own writes are read back";
        struct stat now {};
        ASSERT_EQ(stat(path.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, before) << "nothing is stored before the end";
    });
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 12) << "the other writer read after the transaction";
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Left", 0), 5);

    // A transaction that throws stores nothing and leaves the store usable.
    const std::string stored = ReadFile();
    EXPECT_THROW(store.Transaction([&] {
        store.RegWriteInteger(0, kSystemKey, "Top", 99);
        throw RegError("stop");
    }),
                 RegError);
    EXPECT_EQ(ReadFile(), stored);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 12);
}

TEST_F(StoreFixture, TransactionThatCannotStoreNamesItsFirstValue)
{
    WriteFile(kHeader);
    const int code = OnAFullDisk([&] {
        const std::string raised = RaisedText([&] {
            store.Transaction([&] {
                store.RegWriteInteger(0, kSystemKey, "Height", 1);
                store.RegWriteInteger(0, kSystemKey, "Width", 2);
            });
        });
        if (!RaisedIs(raised, "'Height' の設定に失敗しました"))
            return 1;
        // What did not land is not read back either.
        return store.RegReadInteger(0, kSystemKey, "Height", 0) == 0 ? 0 : 2;
    });
    ASSERT_NE(code, 77) << "setrlimit failed";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(), kHeader);
}

// A file as regedit saves it: UTF-16LE with a byte-order mark, CR LF.
TEST_F(StoreFixture, RegeditFileInUtf16IsReadAndWrittenBackWholeInUtf16)
{
    const std::u16string exported = u"Windows Registry Editor Version 5.00\r\n"
                                    u"\r\n"
                                    u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
                                    u"\"Drive\"=\"B\"\r\n"
                                    u"\"Dir\"=\"D:\\\\フロッピー\\\\\"\r\n"
                                    u"\"Top\"=dword:00000078\r\n"
                                    u"\r\n"
                                    u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]\r\n"
                                    u"\"Item1\"=\"ゲーム𠮷\\\\r\\\\n\"\r\n"
                                    u"\r\n";
    const std::string bytes = "\xFF\xFE" + Utf16Bytes(exported);
    // The first bytes exactly as regedit writes them.
    ASSERT_EQ(bytes.substr(0, 8), std::string("\xFF\xFEW\0i\0n\0", 8));
    WriteFile(bytes);
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "B");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ""), "D:\\フロッピー\\");
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 0), 120);
    EXPECT_EQ(store.RegReadString(0, kHistoryKey, "Item1", ""), "ゲーム𠮷\\r\\n");

    store.RegWriteInteger(0, kSystemKey, "Left", 16);
    store.RegWriteString(0, kHistoryKey, "Item2", "会社");
    const std::u16string expected = u"Windows Registry Editor Version 5.00\r\n"
                                    u"\r\n"
                                    u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
                                    u"\"Drive\"=\"B\"\r\n"
                                    u"\"Dir\"=\"D:\\\\フロッピー\\\\\"\r\n"
                                    u"\"Top\"=dword:00000078\r\n"
                                    u"\"Left\"=dword:00000010\r\n"
                                    u"\r\n"
                                    u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\History]\r\n"
                                    u"\"Item1\"=\"ゲーム𠮷\\\\r\\\\n\"\r\n"
                                    u"\"Item2\"=\"会社\"\r\n"
                                    u"\r\n";
    EXPECT_EQ(ReadFile(), "\xFF\xFE" + Utf16Bytes(expected));

    // A new section in a UTF-16 file is UTF-16 too.
    store.RegWriteString(0, kDevicesKey, "A", "/dev/sdz");
    const std::string after = ReadFile();
    EXPECT_EQ(after.find("/dev"), std::string::npos) << "no UTF-8 line in a UTF-16 file";
    EXPECT_NE(after.find(Utf16Bytes(u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\Devices]\r\n\"A\"=\"/dev/sdz\"\r\n")),
              std::string::npos);
}

TEST_F(StoreFixture, BrokenUtf16FileReadsDefaultsAndIsNeverOverwritten)
{
    // A lone low surrogate in the middle.
    const std::string broken = "\xFF\xFE" + Utf16Bytes(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                                       u"[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n") +
                               std::string("\x00\xDC", 2) + Utf16Bytes(u"\"Top\"=dword:00000001\r\n");
    WriteFile(broken);
    EXPECT_EQ(store.RegReadInteger(0, kSystemKey, "Top", 7), 7);
    EXPECT_EQ(RaisedText([&] { store.RegWriteInteger(0, kSystemKey, "Top", 2); }), "'Top' の設定に失敗しました");
    EXPECT_EQ(ReadFile(), broken);
}
