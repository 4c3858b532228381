#include "media/drivetext.h"

std::string DriveFailureText(const MessageCatalogue& messages, const std::string& drive, const DriveStatus& status)
{
    if (status.detail == DriveDetail::PartialSector)
        return messages.Text(MessageId::VirtualDriveLength, status.device);
    MessageId first = MessageId::DriveNotOpened;
    switch (status.state) {
    case DriveState::NoDevice:
        first = MessageId::DeviceNotFound;
        break;
    case DriveState::AccessRefused:
        first = MessageId::AccessDenied;
        break;
    case DriveState::InUse:
        first = MessageId::DriveInUse;
        break;
    case DriveState::Unreadable:
        first = MessageId::SectorZeroUnreadable;
        break;
    default: break;
    }
    if (status.detail == DriveDetail::OtherInstance)
        first = MessageId::HeldByOtherInstance;
    std::string text = messages.Text(first, drive);
    if (!status.device.empty())
        text += "\n" + messages.Text(MessageId::DevicePath, status.device);
    if (status.error != 0)
        text += "\n" + IoStatus{status.error}.message();
    if (status.detail == DriveDetail::BrokerAbsent)
        text += "\n" + messages.Text(MessageId::UdisksUnavailable);
    else if (status.detail == DriveDetail::BrokerRefused)
        text += "\n" + messages.Text(MessageId::UdisksRefused, status.detailText);
    else if (status.detail == DriveDetail::UnmountRefused)
        text += "\n" + messages.Text(MessageId::UdisksDidNotUnmount, status.detailText);
    if (status.state == DriveState::AccessRefused)
        text += "\n" + messages.Text(MessageId::SeatAdvice);
    return text;
}
