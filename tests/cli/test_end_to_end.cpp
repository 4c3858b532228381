// tessarine-cli run as a user runs it: a settings file naming virtual drives,
// an image folder, the tool's exit status and what it prints.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "../media/virtual_drive.h"
#include "library/history.h"
#include "library/imagefile.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

bool HaveTool(const std::string& name)
{
    return RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" command -v " + name + " >/dev/null 2>&1") == 0;
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

class CliEndToEnd : public ::testing::Test {
protected:
    TempDir dir;
    std::string images = dir.path() + "/Images/";
    // The tool reads the language file beside itself; so do the expected texts.
    MessageCatalogue messages;

    void SetUp() override
    {
        for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat"})
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing (Debian packages dosfstools and mtools)";
        MakeFolders();
    }

    void MakeFolders()
    {
        fs::create_directories(images);
        fs::create_directories(dir.path() + "/config/Orvane");
        messages = MessageCatalogue::Load((fs::path(TESSARINE_CLI).parent_path() / "tessarine").string());
    }

    // The settings file as the window leaves it: drive A, the image folder,
    // and the devices the letters stand for.
    void Configure(const std::map<char, std::string>& devices)
    {
        std::ofstream reg(dir.path() + "/config/Orvane/Tessarine.reg", std::ios::binary);
        reg << "Windows Registry Editor Version 5.00\r\n\r\n"
            << "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\System]\r\n"
            << "\"Drive\"=\"A\"\r\n\"Dir\"=\"" << images << "\"\r\n\r\n"
            << "[HKEY_CURRENT_USER\\Software\\Orvane\\Tessarine\\Devices]\r\n";
        for (const auto& [letter, path] : devices)
            reg << "\"" << letter << "\"=\"" << path << "\"\r\n";
    }

    std::string program = TESSARINE_CLI;

    pid_t Start(const std::vector<std::string>& args)
    {
        const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
        const std::string config = "XDG_CONFIG_HOME=" + dir.path() + "/config";
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            std::vector<char*> env{const_cast<char*>(config.c_str()), nullptr};
            ::execve(program.c_str(), argv.data(), env.data());
            ::_exit(127);
        }
        return pid;
    }

    CliRun Finish(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        CliRun run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = dir.read("out.txt");
        run.err = dir.read("err.txt");
        return run;
    }

    CliRun Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

    std::vector<std::string> ImageFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(images))
            names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(CliEndToEnd, CreateListRestoreGiveBackEveryFile)
{
    const std::string source = MakeFatImage(dir, "source.img", 1440, "-n SOURCE");
    ASSERT_FALSE(source.empty());
    std::vector<std::uint8_t> data(20000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    WriteFileBytes(dir.file("DATA.BIN"), data);
    dir.write("README.TXT", "A disk for the archive.\r\n");
    ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -i '" + source + "' '" + dir.file("DATA.BIN") + "' '" +
                         dir.file("README.TXT") + "' ::"),
              0);
    const std::string blank = dir.file("blank.img");
    WriteFileBytes(blank, std::vector<std::uint8_t>(1474560, 0));
    Configure({{'A', source}, {'B', blank}});

    const CliRun created = Run({"create", "--title", "  GAME DISK 1 ", "--year", "1992", "--machine", "PC-98"});
    ASSERT_EQ(created.status, 0) << created.err;
    ASSERT_EQ(ImageFiles().size(), 1u);
    const std::string name = ImageFiles().front();
    EXPECT_EQ(created.out, messages.Text(MessageId::Created) + "\n" + images + name + "\n");

    // The histories took the trimmed texts, as the dialog records them.
    RegStore store(MakeFileBackend(dir.path() + "/config/Orvane/Tessarine.reg"));
    EXPECT_EQ(LoadHistory(store, kTitle), HistoryList{"GAME DISK 1"});
    EXPECT_EQ(LoadHistory(store, kTargetMachine), HistoryList{"PC-98"});
    EXPECT_TRUE(LoadHistory(store, kAuthor).empty());

    const CliRun listed = Run({"list", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto list = nlohmann::json::parse(listed.out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["title"], "GAME DISK 1");
    EXPECT_EQ(list[0]["year"], "1992");
    EXPECT_EQ(list[0]["file"], name);

    // Without a terminal and without --yes, nothing is written.
    const CliRun unconfirmed = Run({"restore", "--drive", "B", name});
    EXPECT_EQ(unconfirmed.status, 2);
    EXPECT_EQ(FileBytes(blank), std::vector<std::uint8_t>(1474560, 0));

    const CliRun restored = Run({"restore", "--yes", "--drive", "B", name});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out, messages.Text(MessageId::Restored) + "\n");
    EXPECT_EQ(RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" fsck.fat -n '" + blank + "' >/dev/null 2>&1"), 0);
    for (const char* file : {"DATA.BIN", "README.TXT"}) {
        const std::string back = dir.file(std::string("back-") + file);
        ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -n -i '" + blank + "' ::" + file + " '" + back + "'"), 0);
        EXPECT_EQ(FileBytes(back), FileBytes(dir.file(file))) << file;
    }

    // Edit keeps the other fields; delete empties the library.
    ASSERT_EQ(Run({"edit", name, "--title", "GAME DISK 2"}).status, 0);
    const auto info = nlohmann::json::parse(Run({"info", "--json", name}).out);
    EXPECT_EQ(info["title"], "GAME DISK 2");
    EXPECT_EQ(info["machine"], "PC-98");
    EXPECT_EQ(info["complete"], true);
    // Delete takes image files only: a file that is none stops the run
    // before anything goes.
    dir.write("Images/notes.txt", std::string(300, 'n'));
    const CliRun refused = Run({"--yes", "delete", name, "notes.txt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, messages.Text(MessageId::NotAnImage, images + "notes.txt") + "\n");
    EXPECT_EQ(ImageFiles().size(), 2u);
    fs::remove(images + "notes.txt");
    EXPECT_EQ(Run({"--yes", "delete", name}).status, 0);
    EXPECT_TRUE(ImageFiles().empty());
}

TEST_F(CliEndToEnd, CtrlCMidwayLeavesNoFileAndExitsThree)
{
    // A sparse 256 MB medium takes seconds to copy, time enough to interrupt.
    const std::string source = MakeFatImage(dir, "big.img", 262144);
    ASSERT_FALSE(source.empty());
    Configure({{'A', source}});

    const pid_t pid = Start({"create", "--title", "BIG"});
    bool copying = false;
    for (int i = 0; i < 2000 && !copying; ++i) {
        for (const auto& e : fs::directory_iterator(images)) {
            std::error_code ec;
            copying = copying || fs::file_size(e.path(), ec) > 1024 * 1024;
        }
        if (!copying)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGINT);
    const CliRun run = Finish(pid);
    ASSERT_TRUE(copying) << "the copy never started: " << run.err;
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.err, messages.Text(MessageId::Cancelled) + "\n");
    EXPECT_TRUE(ImageFiles().empty());
}

TEST_F(CliEndToEnd, MissingDriveExitsOneWithTheWindowsText)
{
    const std::string missing = dir.file("gone.img");
    Configure({{'A', missing}});
    const CliRun run = Run({"create", "--title", "X"});
    EXPECT_EQ(run.status, 1);
    // The window's box: which drive, which device, the system's text.
    EXPECT_EQ(run.err, messages.Text(MessageId::DeviceNotFound, "A") + "\n" +
                           messages.Text(MessageId::DevicePath, missing) + "\n" + std::strerror(ENOENT) + "\n");
    EXPECT_TRUE(ImageFiles().empty());

    // A drive letter nothing stands for, and a title that does not fit.
    EXPECT_EQ(Run({"create", "--drive", "Q", "--title", "X"}).status, 1);
    const CliRun tooLong = Run({"create", "--title", std::string(31, 'x')});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_EQ(Run({"create"}).status, 2);
}

TEST_F(CliEndToEnd, SeveralImagesGoOneMediumEachInTheOrderGiven)
{
    const std::string medium = dir.file("medium.img");
    Configure({{'A', medium}});
    // Two small images of 8 sectors, each filled with its own byte.
    for (const char* name : {"ONE.IMG", "TWO.IMG"}) {
        ImageTexts texts;
        texts[kTitle] = name;
        const HeaderBytes header = BuildHeader(texts, 1, 512, 8);
        std::vector<std::uint8_t> bytes(header.begin(), header.end());
        bytes.resize(kImageHeaderSize + 8 * 512, static_cast<std::uint8_t>(name[0]));
        WriteFileBytes(images + name, bytes);
    }
    WriteFileBytes(medium, std::vector<std::uint8_t>(8 * 512, 0));

    const CliRun run = Run({"--yes", "restore", "TWO.IMG", "ONE.IMG"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The question named the drive's file; the next-medium question came
    // once, between the two, and was answered.
    EXPECT_EQ(run.err, messages.Text(MessageId::RestoreConfirm) + "\n" + medium + "  4 KB\n" +
                           messages.Text(MessageId::NextMedium) + "\n" + messages.Text(MessageId::NextMediumReady) +
                           "\n");
    EXPECT_EQ(run.out, messages.Text(MessageId::Restored) + "\n");
    EXPECT_EQ(FileBytes(medium), std::vector<std::uint8_t>(8 * 512, 'O'));

    // A missing image stops the run before anything is written.
    WriteFileBytes(medium, std::vector<std::uint8_t>(8 * 512, 0));
    EXPECT_EQ(Run({"--yes", "restore", "TWO.IMG", "GONE.IMG"}).status, 1);
    EXPECT_EQ(FileBytes(medium), std::vector<std::uint8_t>(8 * 512, 0));
}

TEST_F(CliEndToEnd, TheLanguageFileBesideTheProgramApplies)
{
    // A copy of the tool with the English file beside it, as installed.
    program = dir.file("tessarine-cli");
    fs::copy_file(TESSARINE_CLI, program);
    fs::copy_file(TESSARINE_ENGLISH_RSL, dir.file("tessarine.rsl"));
    const std::string missing = dir.file("gone.img");
    Configure({{'A', missing}});
    const CliRun run = Run({"create", "--title", "X"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "The device of drive A: was not found.");
}

// hash, match, import and export need no drive, only the image folder.
class CliExchange : public CliEndToEnd {
protected:
    void SetUp() override
    {
        MakeFolders();
        Configure({});
    }

    // An image of `sectors` sectors of 512 bytes of pattern data; returns its data.
    std::string Image(const std::string& name, const std::string& title, std::uint32_t sectors = 1440)
    {
        ImageTexts texts;
        texts[kTitle] = title;
        std::string data(std::size_t{sectors} * 512, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);
        const HeaderBytes header = BuildHeader(texts, 1, 512, sectors);
        std::ofstream(images + name, std::ios::binary) << std::string(header.begin(), header.end()) << data;
        return data;
    }

    // What a shell command prints, its last newline cut.
    std::string Output(const std::string& command)
    {
        EXPECT_EQ(RunCommand(command + " >" + dir.file("shell.txt")), 0) << command;
        std::string out = dir.read("shell.txt");
        if (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
};

TEST_F(CliExchange, HashesAreThoseOfTheSystemToolsAndMatchTellsMatchedDifferentUnknown)
{
    Image("A.IMG", "GOOD");
    std::string changed = Image("B.IMG", "CHANGED");
    changed[1000] ^= 1;
    std::fstream(images + "B.IMG", std::ios::in | std::ios::out | std::ios::binary).seekp(256 + 1000).put(changed[1000]);
    Image("C.IMG", "ODD", 1000);

    const CliRun hashed = Run({"hash", "--json", "A.IMG"});
    ASSERT_EQ(hashed.status, 0) << hashed.err;
    const auto a = nlohmann::json::parse(hashed.out).at(0);
    const std::string data = "tail -c +257 " + images + "A.IMG";
    EXPECT_EQ(a["sha1"], Output(data + " | sha1sum | cut -c1-40"));
    EXPECT_EQ(a["md5"], Output(data + " | md5sum | cut -c1-32"));
    EXPECT_EQ(a["crc32"], Output(data + " | python3 -c 'import sys,zlib; print(\"%08x\" % zlib.crc32(sys.stdin.buffer.read()))'"));
    EXPECT_EQ(a["size"], 737280);
    EXPECT_EQ(a["geometry"], "2DD 720KB");

    std::ofstream(dir.file("test.dat")) << "<?xml version=\"1.0\"?>\n<datafile><header><name>Test</name></header>\n"
                                        << "<game name=\"Other (1991)\"><rom name=\"o.img\" size=\"737280\" crc=\"00000000\"/></game>\n"
                                        << "<game name=\"Good (1990)\"><rom name=\"good.img\" size=\"737280\" crc=\"" << a["crc32"].get<std::string>()
                                        << "\" sha1=\"" << a["sha1"].get<std::string>() << "\"/></game></datafile>\n";
    const CliRun matched = Run({"match", "--json", dir.file("test.dat")});
    ASSERT_EQ(matched.status, 0) << matched.err;
    const auto results = nlohmann::json::parse(matched.out);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]["result"], "matched");
    EXPECT_EQ(results[0]["game"], "Good (1990)");
    EXPECT_EQ(results[1]["result"], "different"); // B: one byte changed
    EXPECT_EQ(results[2]["result"], "unknown");   // C: no entry of its size

    // No dat given: those of the dats folder beside the image folder, as the
    // information dialog uses them; none there is a usage error.
    const CliRun none = Run({"match", "A.IMG"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find(messages.Text(MessageId::NoDatFile, dir.path() + "/dats")), std::string::npos) << none.err;
    fs::create_directories(dir.path() + "/dats");
    fs::copy_file(dir.file("test.dat"), dir.path() + "/dats/test.dat");
    const CliRun besides = Run({"match", "--json"});
    ASSERT_EQ(besides.status, 0) << besides.err;
    const auto beside = nlohmann::json::parse(besides.out);
    ASSERT_EQ(beside.size(), 3u);
    EXPECT_EQ(beside[0]["game"], "Good (1990)");
    EXPECT_EQ(beside[0]["dat"], dir.path() + "/dats/test.dat");
    EXPECT_EQ(beside[1]["result"], "different");
    std::ofstream(dir.path() + "/dats/zz.xml") << "not xml";
    const CliRun brokenBeside = Run({"match", "A.IMG"});
    EXPECT_EQ(brokenBeside.status, 1);
    EXPECT_EQ(brokenBeside.out, "");
    EXPECT_NE(brokenBeside.err.find(dir.path() + "/dats/zz.xml: not an XML file"), std::string::npos);

    std::ofstream(dir.file("broken.dat")) << "<datafile><game>";
    const CliRun broken = Run({"match", dir.file("broken.dat"), "A.IMG"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_NE(broken.err.find(dir.file("broken.dat") + ": not an XML file"), std::string::npos) << broken.err;
}

TEST_F(CliExchange, ExportToD88AndImportBackKeepSectorsAndUnreadableOnes)
{
    const std::string data = Image("A.IMG", "DISK A");
    // Sector 5 unreadable: bytes 0xA00-0xBFF of the medium.
    std::ofstream(images + "A.IMG.map") << "0 +\n0x0 0xA00 +\n0xA00 0x200 -\n0xC00 0xB3400 +\n";
    const std::string out = dir.path() + "/out";
    fs::create_directories(out);
    const CliRun exported = Run({"export", "A.IMG", "--format", "d88", "--to", out});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string d88path = out + "/DISK A.d88";
    EXPECT_EQ(exported.out, d88path + "\n");
    // The sector statuses written are the formats' test; the unreadable
    // sector coming back through import below proves the map reached them.
    const std::string d88 = dir.read("out/DISK A.d88");

    // Replacing needs a Yes; the raw names of the PC-98 2HD refuse a 720 KB disk.
    EXPECT_EQ(Run({"export", "A.IMG", "--format", "d88", "--to", out}).status, 2);
    EXPECT_EQ(Run({"--yes", "export", "A.IMG", "--format", "d88", "--to", out}).status, 0);
    EXPECT_EQ(Run({"export", "A.IMG", "--format", "hdm", "--to", out}).status, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);

    const CliRun imported = Run({"import", d88path});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::string made = imported.out.substr(0, imported.out.find('\n'));
    ASSERT_EQ(made.rfind(images + "IMG", 0), 0u) << made;
    std::ifstream in(made, std::ios::binary);
    const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(back.substr(kImageHeaderSize) == data);
    HeaderBytes header{};
    std::copy_n(back.begin(), kImageHeaderSize, header.begin());
    EXPECT_EQ(ReadHeader(header).texts[kTitle], "DISK A");
    EXPECT_EQ(ReadHeader(header).sectorCount, 1440u);
    const CliRun report = Run({"hash", "--json", made});
    EXPECT_EQ(nlohmann::json::parse(report.out).at(0)["unreadable"], nlohmann::json::array({5}));

    // Fields given override those the file suggests and enter the histories;
    // a title that ends up empty or a text too long writes nothing.
    const CliRun described = Run({"import", d88path, "--author", "作者", "--year", "1991", "--os", "DOS"});
    ASSERT_EQ(described.status, 0) << described.err;
    HeaderBytes given{};
    std::ifstream(described.out.substr(0, described.out.find('\n')), std::ios::binary)
        .read(reinterpret_cast<char*>(given.data()), kImageHeaderSize);
    EXPECT_EQ(ReadHeader(given).texts, (ImageTexts{"DISK A", "", "\x8d\xec\x8e\xd2", "1991", "", "DOS"}));
    const std::string reg = dir.read("config/Orvane/Tessarine.reg");
    for (const char* entry : {"\"Item1\"=\"DISK A\\\\r\\\\n", "\"Item3\"=\"作者\\\\r\\\\n",
                              "\"Item4\"=\"1991\\\\r\\\\n", "\"Item6\"=\"DOS\\\\r\\\\n"})
        EXPECT_NE(reg.find(entry), std::string::npos) << entry << "\n" << reg;
    const std::size_t first = ImageFiles().size();
    EXPECT_EQ(Run({"import", d88path, "--title", "  "}).status, 2);
    EXPECT_EQ(Run({"import", d88path, "--year", "19910"}).status, 2);
    EXPECT_EQ(ImageFiles().size(), first);

    // A D88 cut short: a clear error, no image.
    std::ofstream(dir.file("cut.d88"), std::ios::binary) << d88.substr(0, 0x100);
    const std::size_t before = ImageFiles().size();
    const CliRun cut = Run({"import", dir.file("cut.d88")});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("the D88 header is cut off"), std::string::npos) << cut.err;
    EXPECT_EQ(ImageFiles().size(), before);
}

} // namespace
