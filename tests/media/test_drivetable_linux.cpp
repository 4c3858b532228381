// The drive table built from fake sysfs trees.
#include "media/drivetable.h"
#include "media/sysfsblock.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct FakeDevice {
    std::string name = {};
    std::string devicePath = {}; // under <root>/devices
    std::string removable = "0";
    std::string size = "0";
    std::string vendor = {};
    std::string model = {};
    std::string type = {};
    std::string dev = {};
};

// Lays out <root>/block/<name> -> ../devices/<devicePath>/block/<name>, as the kernel does.
class FakeSysfs {
public:
    void Add(const FakeDevice& d)
    {
        const fs::path dir = fs::path(root_.path()) / "devices" / d.devicePath / "block" / d.name;
        fs::create_directories(dir / "device");
        Write(dir / "removable", d.removable + "\n");
        Write(dir / "size", d.size + "\n");
        if (!d.vendor.empty())
            Write(dir / "device/vendor", d.vendor);
        if (!d.model.empty())
            Write(dir / "device/model", d.model);
        if (!d.type.empty())
            Write(dir / "device/type", d.type + "\n");
        if (!d.dev.empty())
            Write(dir / "dev", d.dev + "\n");
        fs::create_directories(fs::path(root_.path()) / "block");
        fs::create_directory_symlink("../devices/" + d.devicePath + "/block/" + d.name,
                                     fs::path(root_.path()) / "block" / d.name);
    }
    // The serial attribute of the USB device at devicePath (under devices/).
    void SetSerial(const std::string& usbDevicePath, const std::string& serial)
    {
        Write(fs::path(root_.path()) / "devices" / usbDevicePath / "serial", serial + "\n");
    }
    // dev/disk/by-id/<link> -> ../../<name>, as udev makes it.
    void LinkById(const std::string& link, const std::string& name)
    {
        const fs::path dir = fs::path(root_.path()) / "dev/disk/by-id";
        fs::create_directories(dir);
        fs::remove(dir / link);
        fs::create_symlink("../../" + name, dir / link);
    }
    // The device goes away, as on unplugging.
    void Remove(const std::string& name) { fs::remove(fs::path(root_.path()) / "block" / name); }
    std::string path() const { return root_.path(); }
    std::string devRoot() const { return root_.path() + "/dev"; }

private:
    static void Write(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }
    TempDir root_;
};

std::string Devices(const std::vector<DriveEntry>& table)
{
    std::string out;
    for (const auto& e : table)
        out += std::string(1, e.letter) + "=" + e.device + " ";
    return out;
}

const FakeDevice kFloppy{"fd0", "platform/floppy.0", "1", "2880"};
const FakeDevice kUsbFloppy{"sdc", "pci0000:00/usb1/1-1/host6/target6:0:0/6:0:0:0", "1", "0",
                            "TEAC    ", "USB FDD         "};
const FakeDevice kCardReader{"sdb", "pci0000:00/usb1/1-2/host7/target7:0:0/7:0:0:0", "1", "31116288",
                             "Generic-", "SD/MMC          "};
const FakeDevice kUsbStick{"sdd", "pci0000:00/usb2/2-1/host8/target8:0:0/8:0:0:0", "1", "60063744",
                           "SanDisk ", "Cruzer Blade    "};
const FakeDevice kFixedDisk{"sda", "pci0000:00/ata1/host0/target0:0:0/0:0:0:0", "0", "976773168",
                            "ATA     ", "WDC WD5000      "};
const FakeDevice kOptical{"sr0", "pci0000:00/ata2/host1/target1:0:0/1:0:0:0", "1", "0", "HL-DT-ST", "DVDRAM", "5"};

TEST(DriveTable, DetectsFloppiesFirstThenRemovableDisksByName)
{
    FakeSysfs sys;
    for (const auto& d : {kUsbFloppy, kCardReader, kUsbStick, kFixedDisk, kOptical, kFloppy})
        sys.Add(d);
    sys.Add({"loop0", "virtual/block", "1", "2880"});
    sys.Add({"zram0", "virtual/block", "1", "8000000"});
    sys.Add({"fd1", "platform/floppy.0", "1", "0"});

    const auto table = BuildDriveTable({}, sys.path());
    EXPECT_EQ(Devices(table), "A=/dev/fd0 B=/dev/fd1 C=/dev/sdb D=/dev/sdc E=/dev/sdd ");
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[0].kind, DriveKind::Floppy);
    EXPECT_EQ(table[2].kind, DriveKind::Removable);
    EXPECT_EQ(table[0].display, "A: /dev/fd0  1.4 MB");
    EXPECT_EQ(table[1].display, "B: /dev/fd1");
    EXPECT_EQ(table[2].display, "C: /dev/sdb  Generic- SD/MMC  14.8 GB");
    EXPECT_EQ(table[3].display, "D: /dev/sdc  TEAC USB FDD") << "an empty drive has no medium size";
}

TEST(DriveTable, ExplicitEntriesTakeTheirLettersFirst)
{
    FakeSysfs sys;
    sys.Add(kFloppy);
    sys.Add(kUsbFloppy);
    TempDir media;
    media.write("disk.img", std::string(737280, '\0'));
    const auto table = BuildDriveTable(
        {{'a', media.file("disk.img")}, {'C', "/nonexistent/device"}, {'7', "/dev/ignored"}, {'D', ""}},
        sys.path());
    EXPECT_EQ(Devices(table), "A=" + media.file("disk.img") + " B=/dev/fd0 C=/nonexistent/device D=/dev/sdc ");
    EXPECT_EQ(table[0].kind, DriveKind::Virtual);
    EXPECT_EQ(table[0].display, "A: " + media.file("disk.img") + "  720 KB");
    EXPECT_EQ(table[2].kind, DriveKind::Other);
    EXPECT_EQ(table[2].display, "C: /nonexistent/device");
}

TEST(DriveTable, NeverEmptyAndNeverBeyondZ)
{
    FakeSysfs empty;
    const auto fallback = BuildDriveTable({}, empty.path() + "/missing");
    EXPECT_EQ(Devices(fallback), "A=/dev/fd0 ");
    EXPECT_EQ(fallback[0].kind, DriveKind::Floppy);

    FakeSysfs many;
    for (int i = 0; i < 30; ++i)
        many.Add({"sd" + std::string(1, static_cast<char>('a' + i % 26)) + (i >= 26 ? "x" : ""),
                  "usb/" + std::to_string(i), "1", "2880"});
    const auto table = BuildDriveTable({{'B', "/dev/explicit"}}, many.path());
    ASSERT_EQ(table.size(), 26u);
    EXPECT_EQ(table[0].device, "/dev/sda");
    EXPECT_EQ(table[1].device, "/dev/explicit");
    EXPECT_EQ(table[2].device, "/dev/sdax") << "plain name order";
    EXPECT_EQ(table[25].letter, 'Z');
}

TEST(DriveTable, FloppiesInNumberOrder)
{
    FakeSysfs sys;
    sys.Add({"fd10", "platform/floppy.1", "1", "0"});
    sys.Add({"fd2", "platform/floppy.0", "1", "0"});
    EXPECT_EQ(Devices(BuildDriveTable({}, sys.path())), "A=/dev/fd2 B=/dev/fd10 ");
}

TEST(DriveTable, ADeviceEnteredExplicitlyIsNotDetectedAgain)
{
    struct stat st {};
    if (::stat("/dev/loop0", &st) != 0 || !S_ISBLK(st.st_mode))
        GTEST_SKIP() << "needs the block device node /dev/loop0";
    FakeSysfs sys;
    FakeDevice same = kUsbFloppy;
    same.dev = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    sys.Add(same);
    sys.Add(kCardReader);
    EXPECT_EQ(Devices(BuildDriveTable({{'A', "/dev/loop0"}}, sys.path())), "A=/dev/loop0 B=/dev/sdb ");
}

TEST(DriveTable, MediumSizesAsTheDialogShowsThem)
{
    EXPECT_EQ(FormatMediumSize(0), "");
    EXPECT_EQ(FormatMediumSize(368640), "360 KB");
    EXPECT_EQ(FormatMediumSize(1228800), "1.2 MB");
    EXPECT_EQ(FormatMediumSize(1474560), "1.4 MB");
    EXPECT_EQ(FormatMediumSize(16ull << 30), "16.0 GB");
    EXPECT_EQ(SysfsSizeBytes("2880\n"), 1474560u);
    EXPECT_EQ(SysfsSizeBytes("-1"), 0u);
    EXPECT_EQ(SysfsSizeBytes("99999999999999999999"), 0u);
}

const std::string kTeacPort = "pci0000:00/usb1/1-1";

// A letter means one device: once the dialog has bound it, another
// removable disk that comes first in the kernel's order does not take it,
// the device is followed under a new name, and while it is away the letter
// stands for nothing rather than for another device.
TEST(DriveBinding, ALetterStaysOnItsDeviceWhateverTheKernelCallsIt)
{
    FakeSysfs sys;
    sys.Add(kUsbFloppy); // sdc, no serial, no by-id link
    sys.Add(kFixedDisk);
    const auto first = BuildDriveTable({}, sys.path(), sys.devRoot());
    EXPECT_EQ(Devices(first), "A=/dev/sdc ");
    const auto bindings = NewBindings(first);
    ASSERT_EQ(bindings, (std::map<char, std::string>{{'A', "usb:" + kTeacPort}}));

    // A stick plugged in later that the kernel names sdb.
    sys.Add(kCardReader);
    auto table = BuildDriveTable(bindings, sys.path(), sys.devRoot());
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].display, "A: /dev/sdc  TEAC USB FDD");
    EXPECT_TRUE(table[0].bound);
    EXPECT_EQ(table[1].display, "B: /dev/sdb  Generic- SD/MMC  14.8 GB");
    EXPECT_EQ(NewBindings(table), (std::map<char, std::string>{{'B', "usb:pci0000:00/usb1/1-2"}}));
    EXPECT_EQ(ResolveUsbIdentity(table[0].device, sys.path()), "/dev/sdc");

    // Unplugged: A keeps its binding and shows it; the stick stays on B.
    sys.Remove("sdc");
    table = BuildDriveTable(bindings, sys.path(), sys.devRoot());
    EXPECT_EQ(Devices(table), "A=usb:" + kTeacPort + " B=/dev/sdb ");
    EXPECT_EQ(table[0].display, "A: usb:" + kTeacPort);
    EXPECT_EQ(ResolveUsbIdentity(table[0].device, sys.path()), "");

    // Back in the same port, named sde this time.
    FakeDevice again = kUsbFloppy;
    again.name = "sde";
    sys.Add(again);
    table = BuildDriveTable(bindings, sys.path(), sys.devRoot());
    EXPECT_EQ(table[0].display, "A: /dev/sde  TEAC USB FDD");
    EXPECT_EQ(table.size(), 2u) << "not detected a second time";
    EXPECT_EQ(ResolveUsbIdentity(table[0].device, sys.path()), "/dev/sde");
}

TEST(DriveBinding, IdentitiesByIdLinkThenUsbPortAndSerialThenFloppyNode)
{
    FakeSysfs sys;
    sys.Add(kFloppy);
    sys.Add(kUsbFloppy);
    sys.Add(kUsbStick);
    sys.Add(kCardReader);
    sys.SetSerial("pci0000:00/usb1/1-2", "000000009412");
    sys.LinkById("usb-SanDisk_Cruzer_Blade_4C53-0:0", "sdd");
    sys.LinkById("usb-SanDisk_Cruzer_Blade_4C53-0:0-part1", "sdd1");
    sys.LinkById("wwn-0x5000", "sdd");
    const auto table = BuildDriveTable({}, sys.path(), sys.devRoot());
    EXPECT_EQ(Devices(table), "A=/dev/fd0 B=/dev/sdb C=/dev/sdc D=/dev/sdd ");
    const auto bindings = NewBindings(table);
    EXPECT_EQ(bindings, (std::map<char, std::string>{
                            {'A', "/dev/fd0"},
                            {'B', "usb:pci0000:00/usb1/1-2#000000009412"},
                            {'C', "usb:" + kTeacPort},
                            {'D', sys.devRoot() + "/disk/by-id/usb-SanDisk_Cruzer_Blade_4C53-0:0"}}));

    // The stick comes back as sda; udev moves its link.
    sys.Remove("sdd");
    FakeDevice stick = kUsbStick;
    stick.name = "sda";
    sys.Add(stick);
    sys.LinkById("usb-SanDisk_Cruzer_Blade_4C53-0:0", "sda");
    // Another card with another serial in the reader's port is not the bound one.
    sys.SetSerial("pci0000:00/usb1/1-2", "000000001111");
    const auto later = BuildDriveTable(bindings, sys.path(), sys.devRoot());
    ASSERT_EQ(later.size(), 5u) << Devices(later);
    EXPECT_EQ(later[3].display, "D: /dev/sda  SanDisk Cruzer Blade  28.6 GB");
    EXPECT_EQ(later[3].device, bindings.at('D')) << "opened by its link";
    EXPECT_EQ(later[1].display, "B: usb:pci0000:00/usb1/1-2#000000009412") << "away";
    EXPECT_EQ(later[4].display, "E: /dev/sdb  Generic- SD/MMC  14.8 GB");
    EXPECT_EQ(NewBindings(later), (std::map<char, std::string>{{'E', "usb:pci0000:00/usb1/1-2#000000001111"}}));
}

// Fixed disks are never offered and so never bound, also on USB.
TEST(DriveBinding, NonRemovableDisksAreNeverOffered)
{
    FakeSysfs sys;
    sys.Add(kFixedDisk);
    FakeDevice usbDisk{"sde", "pci0000:00/usb2/2-3/host9/target9:0:0/9:0:0:0", "0", "125829120", "WD", "Elements"};
    sys.Add(usbDisk);
    sys.LinkById("usb-WD_Elements_57583-0:0", "sde");
    const auto table = BuildDriveTable({}, sys.path(), sys.devRoot());
    EXPECT_EQ(Devices(table), "A=/dev/fd0 ");
    EXPECT_TRUE(NewBindings(table).empty()) << "the fallback letter is nothing to bind";
    // Written by hand, it is offered as written.
    EXPECT_EQ(Devices(BuildDriveTable({{'B', sys.devRoot() + "/disk/by-id/usb-WD_Elements_57583-0:0"}}, sys.path(),
                                      sys.devRoot())),
              "A=/dev/fd0 B=" + sys.devRoot() + "/disk/by-id/usb-WD_Elements_57583-0:0 ");
}

TEST(DriveBinding, UsbPortsFromSysfsPaths)
{
    EXPECT_EQ(UsbDevicePath("../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdc"),
              "pci0000:00/0000:00:14.0/usb1/1-1");
    EXPECT_EQ(UsbDevicePath("../devices/pci0000:00/0000:00:14.0/usb3/3-2/3-2.4/3-2.4.1/3-2.4.1:1.0/host2/block/sdb"),
              "pci0000:00/0000:00:14.0/usb3/3-2/3-2.4/3-2.4.1");
    EXPECT_EQ(UsbDevicePath("../devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda"), "");
    EXPECT_EQ(UsbDevicePath("../devices/virtual/block/loop0"), "");
    EXPECT_EQ(UsbDevicePath("../devices/platform/1-1./block/x"), "");
}

} // namespace
