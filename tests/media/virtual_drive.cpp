#include "virtual_drive.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

std::unique_ptr<DriveAccess> DrivesOver(const std::map<char, std::string>& paths)
{
    std::vector<DriveEntry> table;
    for (const auto& [letter, path] : paths)
        table.push_back({letter, path, DriveKind::Virtual, std::string(1, letter) + ": " + path});
    return MakeDriveAccess(std::move(table));
}

std::vector<std::uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeFatImage(const TempDir& dir, const std::string& name, unsigned kilobytes, const std::string& options)
{
    const std::string path = dir.file(name);
    const std::string command = "PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.fat -C " + options + " '" + path + "' " +
                                std::to_string(kilobytes) + " >/dev/null 2>&1";
    return RunCommand(command) == 0 ? path : std::string();
}
