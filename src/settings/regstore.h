#pragma once
// The settings store with registry semantics. The rules (defaults, value
// kinds, the tolerant integer read, the error texts) are written once over a
// small backend; the Linux backend keeps a per-user file in registry-export
// form, a Windows backend will use the registry itself.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/regbackend.h" // RegBackend, RegRoot, RegKind

inline constexpr const char* kSystemKey = "Software\\Orvane\\Tessarine\\System";
inline constexpr const char* kHistoryKey = "Software\\Orvane\\Tessarine\\History";
inline constexpr const char* kDevicesKey = "Software\\Orvane\\Tessarine\\Devices";

// A failure of the store; what() is the user-facing text (UTF-8).
class RegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

RegRoot RootKeyFromCode(std::uint8_t code);

class RegStore {
public:
    explicit RegStore(std::unique_ptr<RegBackend> backend);
    ~RegStore();

    std::string RegReadString(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultText);
    std::int32_t RegReadInteger(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                                std::int32_t defaultValue);
    void RegWriteString(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                        const std::string& text);
    void RegWriteInteger(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                         std::int32_t value);

    // Reads and writes in body see no other writer in between, and its
    // writes land in one replacement of the store at its end; a failure
    // there raises the text of a failed setting, naming the first value
    // written.
    void Transaction(const std::function<void()>& body);

    // The store's path once, the first time it has been found larger than
    // kOversizedStore; empty otherwise. It is still read as far as it parses.
    std::string TakeOversizedStore();

    RegBackend& backend() { return *backend_; }

private:
    void NoteWritten(const std::string& valueName);

    std::unique_ptr<RegBackend> backend_;
    int depth_ = 0;
    std::string firstWritten_; // in the outermost transaction
};

// Settings never grow anywhere near this; a store beyond it is reported.
inline constexpr std::uint64_t kOversizedStore = 4u * 1024u * 1024u;

// Drive letters mapped to devices by hand, from the Devices key.
std::map<char, std::string> ExplicitDrives(RegStore& store);

// $XDG_CONFIG_HOME/Orvane/Tessarine.reg, ~/.config when the variable is unset.
std::string DefaultStorePath();

// The per-user file backend at path.
std::unique_ptr<RegBackend> MakeFileBackend(const std::string& path);
