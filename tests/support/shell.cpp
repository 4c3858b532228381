#include "support/shell.h"

#include <cstdio>

#include <dirent.h>

std::string ShellOutput(const std::string& command, int* status)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr)
        out += buf;
    const int closed = ::pclose(pipe);
    if (status)
        *status = closed;
    return out;
}

std::string ShellLine(const std::string& command)
{
    std::string out = ShellOutput(command);
    if (const auto nl = out.find('\n'); nl != std::string::npos)
        out.resize(nl);
    return out;
}

std::string PseudoRandomBytes(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

int FilesIn(const std::string& folder)
{
    int n = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}
