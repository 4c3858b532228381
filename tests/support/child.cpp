#include "support/child.h"

#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildOutcome RunInChild(const std::function<int()>& fn, std::chrono::milliseconds timeout)
{
    ChildOutcome outcome;
    const pid_t pid = fork();
    if (pid < 0)
        return outcome;
    if (pid == 0)
        _exit(fn() & 0xFF); // no exit handlers: the child must not tear down the test's state
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            outcome.finished = WIFEXITED(status);
            outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return outcome;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return outcome;
}
