#include "cli/console.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t cancelSignalled = 0;

extern "C" void OnCancelSignal(int)
{
    cancelSignalled = 1;
}

int Descriptor(Stream stream)
{
    switch (stream) {
    case Stream::In: return STDIN_FILENO;
    case Stream::Out: return STDOUT_FILENO;
    default: return STDERR_FILENO;
    }
}

} // namespace

bool IsTerminal(Stream stream)
{
    return ::isatty(Descriptor(stream)) == 1;
}

void InstallCancelSignals()
{
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a prompt waiting for input returns, so Ctrl-C answers it.
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A write beyond the file-size limit fails with EFBIG and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool CancelSignalled()
{
    return cancelSignalled != 0;
}

void ClearCancelSignal()
{
    // The handler is reset by its first signal; arm it again for the next run.
    if (cancelSignalled != 0)
        InstallCancelSignals();
    cancelSignalled = 0;
}

bool ReadAnswerLine(std::string& line)
{
    line.clear();
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR && !CancelSignalled())
            continue;
        if (n <= 0 || CancelSignalled())
            return false;
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
}

void WriteText(Stream stream, const std::string& text)
{
    const int fd = Descriptor(stream);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed pipe: nobody is reading
        done += static_cast<std::size_t>(n);
    }
}

std::string RunningExecutable()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}
