#pragma once
// Outcome of a device or file call, shared by every layer.
#include <string>

// Keeps the system's error code.
struct IoStatus {
    int error = 0; // errno (Linux) or GetLastError (Windows); 0 = success

    bool ok() const { return error == 0; }
    static IoStatus Ok() { return {}; }
    static IoStatus Fail(int err) { return IoStatus{err != 0 ? err : -1}; }
    // The system's own text for the error ("No space left on device").
    std::string message() const;
};
