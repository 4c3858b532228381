#include "support/largestore.h"

#include <chrono>
#include <fstream>
#include <thread>

void AppendJunkKey(const std::string& path, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << "\n[HKEY_CURRENT_USER\\Software\\Orvane\\Junk]\n";
    const std::string filler(180, 'x');
    std::size_t written = 0;
    for (int i = 0; written < bytes; ++i) {
        const std::string line = "\"Value" + std::to_string(i) + "\"=\"" + filler + "\"\n";
        out << line;
        written += line.size();
    }
    out.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}
