#include "library/newname.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

std::string NewImageFileName(const std::string& folder, int& error, std::uint16_t start)
{
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    std::uint16_t number = start != 0 ? start : 1;
    for (std::uint32_t tries = 0; tries < 0xFFFF; ++tries) {
        char name[16];
        std::snprintf(name, sizeof name, "IMG%04X.TMP", static_cast<unsigned>(number));
        const std::string path = prefix + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            error = 0;
            return path;
        }
        if (errno != EEXIST) {
            error = errno;
            return {};
        }
        number = static_cast<std::uint16_t>(number == 0xFFFF ? 1 : number + 1);
    }
    error = EEXIST;
    return {};
}

std::string NewImageFileName(const std::string& folder, int& error)
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return NewImageFileName(folder, error, static_cast<std::uint16_t>(ms ^ ::getpid()));
}
