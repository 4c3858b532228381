#include "base/iostatus.h"

#include <cstring>

std::string IoStatus::message() const
{
    if (error == 0)
        return {};
    if (error < 0)
        return "Unknown error";
    return std::strerror(error);
}
