#include "media/hashring.h"

#include <algorithm>

namespace {

constexpr std::size_t kRingBytes = 4u << 20;

// The digests by thread: MD5 is the slowest by far, SHA-1 and CRC32
// together take about as long, so two threads go as fast as three would
// and leave a core to the copy on a machine of two.
constexpr HashPart kLanes[][2] = {{HashPart::Md5, HashPart::Md5}, {HashPart::Sha1, HashPart::Crc32}};

} // namespace

HashingRing::HashingRing(std::size_t bufferBytes)
    : lengths_(std::max<std::size_t>(kRingBytes / std::max<std::size_t>(bufferBytes, 1), 2)),
      done_(std::size(kLanes))
{
    for (std::size_t i = 0; i < lengths_.size(); ++i)
        buffers_.emplace_back(bufferBytes);
    try {
        for (std::size_t lane = 0; lane < done_.size(); ++lane)
            threads_.emplace_back(&HashingRing::Work, this, lane);
    } catch (...) {
        Stop();
        throw;
    }
}

HashingRing::~HashingRing() { Stop(); }

void HashingRing::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    submitted_cv_.notify_all();
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
    threads_.clear();
}

std::uint64_t HashingRing::Slowest() const { return *std::min_element(done_.begin(), done_.end()); }

std::span<std::uint8_t> HashingRing::Next()
{
    std::unique_lock lock(mutex_);
    // The slot of buffer number submitted_ is free once every digest has
    // taken in the buffer that was there one round before.
    hashed_cv_.wait(lock, [&] { return Slowest() + buffers_.size() > submitted_; });
    return buffers_[submitted_ % buffers_.size()].span();
}

void HashingRing::Submit(std::size_t bytes)
{
    {
        std::lock_guard lock(mutex_);
        lengths_[submitted_ % buffers_.size()] = bytes;
        ++submitted_;
    }
    hasher_.Count(bytes);
    submitted_cv_.notify_all();
}

DataHashes HashingRing::Finish()
{
    std::unique_lock lock(mutex_);
    hashed_cv_.wait(lock, [&] { return Slowest() == submitted_; });
    return hasher_.Finish();
}

void HashingRing::Work(std::size_t lane)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        submitted_cv_.wait(lock, [&] { return stop_ || done_[lane] < submitted_; });
        if (stop_)
            return;
        const std::size_t slot = done_[lane] % buffers_.size();
        const std::span<const std::uint8_t> bytes = buffers_[slot].span().first(lengths_[slot]);
        lock.unlock();
        hasher_.UpdatePart(kLanes[lane][0], bytes);
        if (kLanes[lane][1] != kLanes[lane][0])
            hasher_.UpdatePart(kLanes[lane][1], bytes);
        lock.lock();
        ++done_[lane];
        hashed_cv_.notify_all();
    }
}
