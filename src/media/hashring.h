#pragma once
// The copy loops' data hashes, worked out beside the transfer: while the
// loop reads the next request, the digests of the last ones run on threads
// of their own, so a transfer costs what its I/O or its slowest digest
// costs, not both added up.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "base/alignedbytes.h"
#include "library/datahash.h"

// A ring of buffers between a copy loop and the hashes. The loop fills the
// buffer Next gives and hands it over with Submit; threads of the digests
// take the buffers in order, and a buffer comes back round when every
// digest is done with it. The result is DataHasher's over the same bytes
// in the same order. Everything but the digests runs on the loop's thread.
class HashingRing {
public:
    // Buffers of bufferBytes each: as many as make 4 MiB (a whole floppy in
    // cylinder requests, so its copy never waits for the digests), at least
    // two, so one fills while one hashes.
    explicit HashingRing(std::size_t bufferBytes);
    // Stops the threads; what was submitted and not finished is dropped.
    ~HashingRing();
    HashingRing(const HashingRing&) = delete;
    HashingRing& operator=(const HashingRing&) = delete;

    // The buffer to fill next, bufferBytes long; waits while every buffer
    // is still being hashed. Its bytes are whatever was there before.
    std::span<std::uint8_t> Next();
    // The first `bytes` bytes of the buffer Next gave go to the hashes; the
    // buffer must not change until it comes round again.
    void Submit(std::size_t bytes);
    // Waits for everything submitted; the hashes, and a fresh start.
    DataHashes Finish();

private:
    void Work(std::size_t lane);
    void Stop();
    std::uint64_t Slowest() const; // buffers every digest is done with

    std::vector<AlignedBytes> buffers_;
    std::vector<std::size_t> lengths_;
    DataHasher hasher_;
    std::mutex mutex_;
    std::condition_variable submitted_cv_;
    std::condition_variable hashed_cv_;
    std::uint64_t submitted_ = 0;    // buffers handed over so far
    std::vector<std::uint64_t> done_; // per thread: buffers its digests took in
    bool stop_ = false;
    std::vector<std::thread> threads_;
};
