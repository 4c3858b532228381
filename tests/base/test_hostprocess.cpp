#include "base/hostprocess.h"
#include "support/tempdir.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

// A write past the file-size limit killed the program instead of failing.
TEST(HostProcess, WritePastFileSizeLimitFailsInsteadOfKilling)
{
    TempDir dir;
    const std::string path = dir.file("big");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        PrepareHostProcess();
        rlimit lim{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char buf[8192] = {};
        ssize_t n = write(fd, buf, sizeof buf); // partial: up to the limit
        ssize_t m = write(fd, buf, sizeof buf); // now nothing fits
        _exit(n == 4096 && m == -1 && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
