#pragma once
// Shared by the fuzz targets: a broken property stops the run with a message.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_REQUIRE(cond)                                                                                   \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);                 \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
inline bool IsWellFormedUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            lo = b == 0xE0 ? 0xA0 : 0x80;
            hi = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            lo = b == 0xF0 ? 0x90 : 0x80;
            hi = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        const unsigned char b1 = static_cast<unsigned char>(s[i + 1]);
        if (b1 < lo || b1 > hi)
            return false;
        for (std::size_t k = 2; k < len; ++k) {
            const unsigned char bk = static_cast<unsigned char>(s[i + k]);
            if (bk < 0x80 || bk > 0xBF)
                return false;
        }
        i += len;
    }
    return true;
}

// Takes bytes from the front of the fuzzer's input, for targets that need
// a few numbers besides the main text.
class FuzzInput {
public:
    FuzzInput(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T> T Take()
    {
        T value = 0;
        for (std::size_t k = 0; k < sizeof(T) && size_ > 0; ++k, ++data_, --size_)
            value = static_cast<T>(value | static_cast<T>(static_cast<T>(*data_) << (8 * k)));
        return value;
    }
    std::string_view Rest() const { return {reinterpret_cast<const char*>(data_), size_}; }

private:
    const unsigned char* data_;
    std::size_t size_;
};
