#include "media/drivetext.h"

#include "settings/messages.h"

std::string DriveFailureText(const std::string& drive, const DriveStatus& status)
{
    if (status.detail == DriveDetail::PartialSector)
        return MessageText(113, status.device);
    int first = 72;
    switch (status.state) {
    case DriveState::NoDevice: first = 68; break;
    case DriveState::AccessRefused: first = 69; break;
    case DriveState::InUse: first = 70; break;
    case DriveState::Unreadable: first = 71; break;
    default: break;
    }
    if (status.detail == DriveDetail::OtherInstance)
        first = 80;
    std::string text = MessageText(first, drive);
    if (!status.device.empty())
        text += "\n" + MessageText(73, status.device);
    if (status.error != 0)
        text += "\n" + IoStatus{status.error}.message();
    if (status.detail == DriveDetail::BrokerAbsent)
        text += "\n" + MessageText(81);
    else if (status.detail == DriveDetail::BrokerRefused)
        text += "\n" + MessageText(82, status.detailText);
    if (status.state == DriveState::AccessRefused)
        text += "\n" + MessageText(74);
    return text;
}
