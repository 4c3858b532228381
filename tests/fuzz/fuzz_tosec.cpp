// Any bytes as a file name: the fields read from it are pieces of it, a
// year is four characters, and nothing reads outside the name.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "library/tosecname.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const TosecName t = ParseTosecName(name);
    FUZZ_REQUIRE(t.year.empty() || t.year.size() == 4);
    for (const std::string* field : {&t.title, &t.year, &t.publisher, &t.system, &t.disk})
        FUZZ_REQUIRE(name.find(*field) != std::string_view::npos);
    FUZZ_REQUIRE(t.disk.empty() || t.disk.rfind("Disk ", 0) == 0 || t.disk.rfind("Side ", 0) == 0);
    return 0;
}
