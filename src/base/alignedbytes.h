#pragma once
// Page-aligned bytes, as a device opened without buffering (O_DIRECT)
// transfers them straight, without a copy of its own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class AlignedBytes {
public:
    // size bytes on a page boundary; throws std::bad_alloc when memory is short.
    explicit AlignedBytes(std::size_t size);
    std::span<std::uint8_t> span() const { return {data_.get(), size_}; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_;
};
