#pragma once
#include <string>

// A fresh folder under the system temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;
    // Writes bytes to path()/name, replacing it.
    void write(const std::string& name, const std::string& bytes) const;
    // Whole content of path()/name; throws when it cannot be read.
    std::string read(const std::string& name) const;

private:
    std::string path_;
};
