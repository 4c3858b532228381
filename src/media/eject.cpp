#include "media/eject.h"

namespace {
constexpr unsigned kFloppyMajor = 2;
constexpr unsigned kLoopMajor = 7;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }
} // namespace

EjectMethod DecideEject(const EjectTarget& target)
{
    if (!target.blockDevice || target.mounted)
        return EjectMethod::None;
    // Internal floppy drives have no eject motor; loop devices hold files.
    if (target.major == kFloppyMajor || target.major == kLoopMajor || StartsWith(target.name, "fd") ||
        StartsWith(target.name, "loop"))
        return EjectMethod::None;
    return EjectMethod::ScsiThenCd;
}
