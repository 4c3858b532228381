#include "base/cp932.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// One conversion descriptor per direction and thread, reset before each use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; returns errno of the stop (0 when done)
    // and leaves in/inLeft at the offending input.
    int Run(const char*& in, std::size_t& inLeft, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buf[1024];
        while (inLeft > 0) {
            char* o = buf;
            std::size_t oLeft = sizeof buf;
            std::size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &o, &oLeft);
            int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
            out.append(buf, static_cast<std::size_t>(o - buf));
            if (err == E2BIG)
                continue;
            if (err != 0)
                return err;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

} // namespace

std::string Cp932ToUtf8(std::string_view bytes)
{
    thread_local Converter conv("UTF-8", "CP932");
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        int err = conv.Run(in, left, out);
        if (err == 0)
            break;
        // Invalid or incomplete sequence: one replacement character per byte.
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    return out;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8)
{
    thread_local Converter conv("CP932", "UTF-8");
    std::string out;
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    if (conv.Run(in, left, out) != 0)
        return std::nullopt;
    return out;
}
