#pragma once
// CRC32, MD5 and SHA-1 of an image's sector data, as the preservation dat
// files list them: lowercase hex, the CRC as 8 digits.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/iostatus.h"

struct DataHashes {
    std::uint64_t size = 0; // bytes hashed
    std::string crc32;      // 8 hex digits
    std::string md5;        // 32 hex digits
    std::string sha1;       // 40 hex digits
};

// The three digests, which may also be fed one at a time.
enum class HashPart { Crc32, Md5, Sha1 };
inline constexpr HashPart kHashParts[] = {HashPart::Crc32, HashPart::Md5, HashPart::Sha1};

// Feeds bytes in any number of pieces; Finish() gives the hashes of all of
// them and starts over.
class DataHasher {
public:
    DataHasher();
    ~DataHasher();
    DataHasher(const DataHasher&) = delete;
    DataHasher& operator=(const DataHasher&) = delete;

    void Update(std::span<const std::uint8_t> bytes);
    DataHashes Finish();

    // Update in pieces that can run on threads of their own: each part fed
    // from one thread at a time, the parts and Count at the same time. The
    // hashes are those of Update when every part got the same bytes in the
    // same order and Count their number.
    void UpdatePart(HashPart part, std::span<const std::uint8_t> bytes);
    void Count(std::uint64_t bytes);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Hashes everything after the 256-byte header of the image file at path.
// A file shorter than the header fails with ENODATA; read failures keep
// the system's error code.
IoStatus HashImageFile(const std::string& path, DataHashes& hashes);
