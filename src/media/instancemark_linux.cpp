#include "media/instancemark_linux.h"

#include <fcntl.h>

#include <cerrno>
#include <limits>

namespace {

// "TESS" near the top of the offset range, where no medium reaches.
constexpr off_t kMarkOffset = std::numeric_limits<off_t>::max() - 0x54455353;

struct flock MarkRange(short type)
{
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = kMarkOffset;
    range.l_len = 1;
    return range;
}

} // namespace

IoStatus MarkInUse(int fd, bool writing)
{
    struct flock range = MarkRange(writing ? F_WRLCK : F_RDLCK);
    if (::fcntl(fd, F_OFD_SETLK, &range) == 0)
        return IoStatus::Ok();
    return IoStatus::Fail(errno == EAGAIN || errno == EACCES ? EBUSY : errno);
}

void ClearInUseMark(int fd)
{
    struct flock range = MarkRange(F_UNLCK);
    ::fcntl(fd, F_OFD_SETLK, &range);
}

bool MarkedInUse(int fd)
{
    // Asking about a write mark finds marks of either kind.
    struct flock range = MarkRange(F_WRLCK);
    return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}
