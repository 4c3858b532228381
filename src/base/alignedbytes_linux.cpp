#include "base/alignedbytes.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <unistd.h>

void AlignedBytes::Free::operator()(std::uint8_t* p) const { std::free(p); }

AlignedBytes::AlignedBytes(std::size_t size) : size_(size)
{
    const long reported = ::sysconf(_SC_PAGESIZE);
    const std::size_t page = reported > 0 ? static_cast<std::size_t>(reported) : 4096;
    void* p = nullptr;
    if (::posix_memalign(&p, page, std::max(page, (size + page - 1) / page * page)) != 0)
        throw std::bad_alloc();
    data_.reset(static_cast<std::uint8_t*>(p));
}
