// Reading udisks2's answers: which object is the drive's device, and what
// each refusal is told as.
#include "media/drivetext.h"
#include "media/udisks.h"
#include "settings/messages.h"
#include "support/messages.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(UdisksAnswers, TheDeviceNumberFindsTheObjectWhateverNameTheDriveTableUses)
{
    const std::vector<UdisksBlock> blocks = {
        {"/org/freedesktop/UDisks2/block_devices/sda", "/dev/sda", "/dev/disk/by-id/ata-X", 0x800},
        {"/org/freedesktop/UDisks2/block_devices/sdb", "/dev/sdb", "/dev/disk/by-id/usb-Card_Reader", 0x810},
        {"/org/freedesktop/UDisks2/block_devices/fd0", "/dev/fd0", "/dev/fd0", 0x200}};
    EXPECT_EQ(FindUdisksBlock(blocks, "/dev/disk/by-path/pci-0000:00:14.0-usb-0:2:1.0", 0x810),
              "/org/freedesktop/UDisks2/block_devices/sdb");
    // A name that once was the device's does not win over the number.
    EXPECT_EQ(FindUdisksBlock(blocks, "/dev/sda", 0x200), "/org/freedesktop/UDisks2/block_devices/fd0");
    EXPECT_EQ(FindUdisksBlock(blocks, "/dev/sdc", 0x820), "");
    // Without a number, the device or its preferred name decides.
    EXPECT_EQ(FindUdisksBlock(blocks, "/dev/disk/by-id/usb-Card_Reader", 0),
              "/org/freedesktop/UDisks2/block_devices/sdb");
    EXPECT_EQ(FindUdisksBlock(blocks, "", 0), "");
    EXPECT_EQ(FindUdisksBlock({}, "/dev/fd0", 0x200), "");
}

TEST(UdisksAnswers, ErrorsAreToldAsAbsentRefusedOrBusy)
{
    struct Case {
        const char* name;
        const char* message;
        int error;
        DriveDetail detail;
        int code;
        const char* text;
    };
    const Case cases[] = {
        // No broker to ask.
        {"", "", -ENOENT, DriveDetail::BrokerAbsent, 0, ""},
        {"", "", -ECONNREFUSED, DriveDetail::BrokerAbsent, 0, ""},
        {"org.freedesktop.DBus.Error.ServiceUnknown", "The name is not activatable", -EHOSTUNREACH,
         DriveDetail::BrokerAbsent, 0, ""},
        {"org.freedesktop.DBus.Error.UnknownObject", "/dev/fd0", 0, DriveDetail::BrokerAbsent, 0, ""},
        {"org.freedesktop.DBus.Error.UnknownMethod", "No such method", -EBADR, DriveDetail::BrokerAbsent, 0, ""},
        // The broker said no: its own words are told.
        {"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", "Not authorized to perform operation", -EACCES,
         DriveDetail::BrokerRefused, 0, "Not authorized to perform operation"},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", "The authentication dialog was dismissed", -EACCES,
         DriveDetail::BrokerRefused, 0, "The authentication dialog was dismissed"},
        {"org.freedesktop.DBus.Error.AccessDenied", "", -EACCES, DriveDetail::BrokerRefused, 0,
         "org.freedesktop.DBus.Error.AccessDenied"},
        {"", "", -ETIMEDOUT, DriveDetail::BrokerRefused, 0, "Connection timed out"},
        // A busy device is told as one, whoever opened it.
        {"org.freedesktop.UDisks2.Error.Failed", "Error opening device /dev/sdb: Device or resource busy", -EIO,
         DriveDetail::None, EBUSY, ""},
        {"org.freedesktop.UDisks2.Error.DeviceBusy", "busy", -EIO, DriveDetail::None, EBUSY, ""},
        {"org.freedesktop.UDisks2.Error.Failed", "Error opening device /dev/sdb: No medium found", -EIO,
         DriveDetail::BrokerRefused, 0, "Error opening device /dev/sdb: No medium found"}};
    for (const Case& c : cases) {
        const BrokerAnswer a = InterpretUdisksError(c.name, c.message, c.error);
        EXPECT_EQ(a.detail, c.detail) << c.name << " " << c.error;
        EXPECT_EQ(a.error, c.code) << c.name << " " << c.error;
        EXPECT_EQ(a.text, c.text) << c.name << " " << c.error;
    }
}

// The window and the terminal tell a drive failure with this one text; the
// broker's part must be in it for every front end.
TEST(UdisksAnswers, TheDriveTextSaysWhyTheBrokerDidNotOpenTheDevice)
{
    const MessageCatalogue& messages = BuiltInMessages();
    const DriveStatus absent{DriveState::AccessRefused, EACCES, "/dev/sdz", DriveDetail::BrokerAbsent};
    EXPECT_EQ(DriveFailureText(messages, "A", absent),
              messages.Text(MessageId::AccessDenied, "A") + "\n" + messages.Text(MessageId::DevicePath, "/dev/sdz") +
                  "\n" + IoStatus{EACCES}.message() + "\n" + messages.Text(MessageId::UdisksUnavailable) + "\n" +
                  messages.Text(MessageId::SeatAdvice));
    const DriveStatus refused{DriveState::AccessRefused, EACCES, "/dev/sdz", DriveDetail::BrokerRefused, "Not authorized"};
    EXPECT_NE(DriveFailureText(messages, "A", refused).find(messages.Text(MessageId::UdisksRefused, "Not authorized")),
              std::string::npos);
    const DriveStatus held{DriveState::InUse, EBUSY, "/dev/sdz", DriveDetail::OtherInstance};
    EXPECT_EQ(DriveFailureText(messages, "A", held).rfind(messages.Text(MessageId::HeldByOtherInstance, "A"), 0), 0u);
}
