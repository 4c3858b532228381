#pragma once
// The small interface the settings rules (regstore.cpp) are written over:
// open a key, create a key path, query a value, set a value. One realisation
// per host: the per-user file (regfile_linux.cpp), later the registry itself.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <cstdint>

#include "base/iostatus.h"

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// Value kinds, numbered as the registry numbers them; other numbers occur too.
enum class RegKind : std::uint32_t { None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4, MultiSz = 7 };

// One stored value. Text kinds (Sz, ExpandSz, MultiSz) hold UTF-8 bytes with
// their NUL terminators, as stored; other kinds hold the raw bytes.
struct RegValue {
    RegKind kind = RegKind::None;
    std::string bytes;
};

enum class RegAccess { Read, ReadWrite };

// An opened key. It lives for one store operation only, so it never
// outlives what the backend read when it was opened.
class RegKey {
public:
    virtual ~RegKey() = default;
    // Empty when the value does not exist.
    virtual std::optional<RegValue> QueryValue(const std::string& name) = 0;
    // Replaces the value (of whatever kind it was) or adds it.
    virtual IoStatus SetValue(const std::string& name, RegKind kind, const std::string& bytes) = 0;
};

class RegBackend {
public:
    virtual ~RegBackend() = default;
    // Null when the key does not exist or cannot be opened; never creates anything.
    virtual std::unique_ptr<RegKey> OpenKey(RegRoot root, const std::string& path, RegAccess access) = 0;
    // Opens the key, creating it and any missing parent first; null with status on failure.
    virtual std::unique_ptr<RegKey> CreateKey(RegRoot root, const std::string& path, IoStatus& status) = 0;

    // Runs body with the store locked against every other writer: what it
    // reads is what is stored, and its changes are stored together when it
    // ends (discarded when it throws). Nested calls join the outer one.
    virtual IoStatus Transact(const std::function<void()>& body)
    {
        body();
        return IoStatus::Ok();
    }

    // Where the store lives, and whether it has been found larger than
    // settings ever grow; the latter is told once per backend.
    virtual std::string Location() const { return {}; }
    virtual bool TakeOversized() { return false; }
};
