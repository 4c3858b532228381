#include "media/hashring.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
    return bytes;
}

void Expect(const DataHashes& got, const DataHashes& want)
{
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.crc32, want.crc32);
    EXPECT_EQ(got.md5, want.md5);
    EXPECT_EQ(got.sha1, want.sha1);
}

// Pieces of uneven length, many more than the ring holds, so every buffer
// comes round several times while the digests are behind: the hashes are
// those of the bytes in order, and Finish starts over.
TEST(HashingRing, GivesTheHashesOfTheBytesInTheOrderSubmitted)
{
    const std::vector<std::uint8_t> data = Pattern(3u << 20);
    DataHasher serial;
    serial.Update(data);
    const DataHashes want = serial.Finish();

    const std::size_t request = 64 * 1024; // a ring of 64 buffers
    HashingRing ring(request);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::size_t at = 0;
        for (std::size_t piece = 1; at < data.size(); piece = piece * 7 % request + 1) {
            const std::size_t n = std::min(piece, data.size() - at);
            const std::span<std::uint8_t> buffer = ring.Next();
            ASSERT_EQ(buffer.size(), request);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 4096, 0u);
            std::memcpy(buffer.data(), data.data() + at, n);
            ring.Submit(n);
            at += n;
        }
        Expect(ring.Finish(), want);
    }
    DataHasher empty;
    Expect(ring.Finish(), empty.Finish());
}

// A copy that stops midway drops the ring with buffers still queued: it
// must end without waiting for them (a hang here fails by timeout).
TEST(HashingRing, EndsWithWorkStillQueued)
{
    for (int i = 0; i < 20; ++i) {
        HashingRing ring(1u << 20);
        for (int k = 0; k < 4; ++k) {
            std::memset(ring.Next().data(), k, 1u << 20);
            ring.Submit(1u << 20);
        }
    }
}

} // namespace
