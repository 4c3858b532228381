#pragma once
// Runs a piece of a test in a child process, so that code that blocks fails
// the test after a timeout instead of hanging the suite.
#include <chrono>
#include <functional>

struct ChildOutcome {
    bool finished = false; // false: killed after the timeout
    int exitCode = -1;     // what the function returned, when finished
};

// fn runs in a forked child; its result (0..255) becomes the exit code.
ChildOutcome RunInChild(const std::function<int()>& fn, std::chrono::milliseconds timeout);
