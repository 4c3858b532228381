// The descriptor helpers under the conditions regular files rarely show:
// reads that return a little at a time, signals that interrupt a call, and
// paths that are not regular files.
#include "base/fdio_linux.h"
#include "support/child.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Pipe {
    int in = -1;  // read end
    int out = -1; // write end
    Pipe()
    {
        int fds[2];
        if (::pipe(fds) == 0) {
            in = fds[0];
            out = fds[1];
        }
    }
    ~Pipe()
    {
        CloseOut();
        if (in >= 0)
            ::close(in);
    }
    void CloseOut()
    {
        if (out >= 0)
            ::close(out);
        out = -1;
    }
};

void Put(int fd, const char* text, std::size_t size)
{
    ASSERT_EQ(::write(fd, text, size), static_cast<ssize_t>(size));
}

TEST(FdIo, ReadExactlyGathersPiecesAndSurvivesSignals)
{
    // A handler without SA_RESTART: a blocked read returns EINTR.
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);

    Pipe pipe;
    ASSERT_GE(pipe.in, 0);
    const pthread_t reader = ::pthread_self();
    std::thread writer([&] {
        std::this_thread::sleep_for(20ms);
        ::pthread_kill(reader, SIGUSR1);
        std::this_thread::sleep_for(20ms);
        Put(pipe.out, "abc", 3);
        std::this_thread::sleep_for(20ms);
        ::pthread_kill(reader, SIGUSR1);
        std::this_thread::sleep_for(20ms);
        Put(pipe.out, "defgh", 5);
    });
    std::array<std::uint8_t, 8> bytes{};
    const IoStatus st = ReadExactly(pipe.in, bytes, ENODATA);
    writer.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdefgh");

    // The writer stops early: what came is not enough.
    Put(pipe.out, "xyz", 3);
    pipe.CloseOut();
    EXPECT_EQ(ReadExactly(pipe.in, bytes, ENODATA).error, ENODATA);
}

TEST(FdIo, PositionedCallsTouchOnlyTheirRange)
{
    TempDir dir;
    dir.write("f", "0123456789");
    UniqueFd fd;
    struct stat st {};
    ASSERT_TRUE(OpenRegularFile(dir.file("f"), O_RDWR, fd, st).ok());
    EXPECT_EQ(st.st_size, 10);

    const std::array<std::uint8_t, 3> patch{'a', 'b', 'c'};
    ASSERT_TRUE(WriteAllAt(fd.get(), patch, 4, EIO).ok());
    std::array<std::uint8_t, 4> got{};
    ASSERT_TRUE(ReadExactlyAt(fd.get(), got, 3, EIO).ok());
    EXPECT_EQ(std::string(got.begin(), got.end()), "3abc");
    EXPECT_EQ(ReadExactlyAt(fd.get(), got, 8, EIO).error, EIO) << "two bytes left at 8";
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 0) << "positioned calls leave the file position";
    fd.reset();
    EXPECT_EQ(dir.read("f"), "0123abc789");
}

TEST(FdIo, OnlyRegularFilesOpen)
{
    TempDir dir;
    UniqueFd fd;
    struct stat st {};
    EXPECT_EQ(OpenRegularFile(dir.file("missing"), O_RDONLY, fd, st).error, ENOENT);
    EXPECT_EQ(OpenRegularFile(dir.path(), O_RDONLY, fd, st).error, EISDIR);
    EXPECT_EQ(OpenRegularFile("/dev/null", O_RDWR, fd, st).error, ENOTSUP);
    EXPECT_FALSE(fd) << "a refused path leaves nothing open";

    // A FIFO with no writer: opening it for reading must neither wait nor succeed.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    const ChildOutcome child = RunInChild(
        [&] {
            UniqueFd f;
            struct stat s {};
            return OpenRegularFile(dir.file("fifo"), O_RDONLY, f, s).error == ENOTSUP ? 0 : 1;
        },
        10s);
    ASSERT_TRUE(child.finished) << "opening a FIFO blocked";
    EXPECT_EQ(child.exitCode, 0);
}

} // namespace
