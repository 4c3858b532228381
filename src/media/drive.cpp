#include "media/drive.h"

#include <cerrno>

DriveState DriveStateFor(int error)
{
    switch (error) {
    case 0:
        return DriveState::Ready;
    case ENOMEDIUM:
        return DriveState::NoMedium;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTBLK:
    case EISDIR:
        return DriveState::NoDevice;
    case EACCES:
    case EPERM:
    case EROFS:
        return DriveState::AccessRefused;
    case EBUSY:
        return DriveState::InUse;
    case EIO:
        return DriveState::Unreadable;
    default:
        return DriveState::Other;
    }
}
