// mountinfo texts as the kernel writes them.
#include "media/mountinfo.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kMountInfo =
    "22 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
    "35 22 0:31 / /proc rw,nosuid - proc proc rw\n"
    "61 22 8:17 / /media/user/MY\\040DISK rw,nosuid,nodev shared:30 master:2 - vfat /dev/sdb1 rw,uid=1000\n"
    "62 22 0:52 / /media/user/NTFS rw,nosuid - fuseblk /dev/sdc1 rw,user_id=0\n"
    "broken line without fields\n"
    "63 22 x:y / /bad rw - ext4 /dev/bad rw\n"
    "64 22 7:0 / /mnt/no-separator rw ext4 /dev/loop0 rw\n"
    "65 22 11:0 /sub /mnt/cd ro - iso9660 /dev/sr0 ro";

TEST(MountInfo, ParsesFieldsAfterOptionalOnesAndDecodesEscapes)
{
    const auto mounts = ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].device, (DevNumber{254, 1}));
    EXPECT_EQ(mounts[2].mountPoint, "/media/user/MY DISK");
    EXPECT_EQ(mounts[2].fsType, "vfat");
    EXPECT_EQ(mounts[2].source, "/dev/sdb1");
    EXPECT_EQ(mounts[3].fsType, "fuseblk");
    EXPECT_EQ(mounts[4].root, "/sub");
    EXPECT_EQ(mounts[4].source, "/dev/sr0") << "last line without a newline";
    EXPECT_TRUE(ParseMountInfo("").empty());
}

TEST(MountInfo, DeviceNumbers)
{
    EXPECT_EQ(ParseDevNumber("8:17\n"), (DevNumber{8, 17}));
    EXPECT_EQ(ParseDevNumber("259:0"), (DevNumber{259, 0}));
    for (const char* bad : {"", "8", "8:", ":1", "a:b", "8:1x", "-1:2", "99999999999:1"})
        EXPECT_FALSE(ParseDevNumber(bad)) << bad;
}

TEST(MountInfo, MountedThroughTheDeviceAPartitionOrAFuseSource)
{
    const auto mounts = ParseMountInfo(kMountInfo);
    auto resolve = [](const std::string& source) -> std::optional<DevNumber> {
        if (source == "/dev/sdc1")
            return DevNumber{8, 33};
        return std::nullopt;
    };
    EXPECT_TRUE(AnyMounted(mounts, {{8, 16}, {8, 17}}, resolve)) << "partition 1 of sdb";
    EXPECT_FALSE(AnyMounted(mounts, {{8, 16}}, resolve)) << "sdb itself, without its partitions";
    EXPECT_TRUE(AnyMounted(mounts, {{8, 32}, {8, 33}}, resolve)) << "FUSE mount of sdc1 under 0:52";
    EXPECT_FALSE(AnyMounted(mounts, {{8, 32}, {8, 33}}, nullptr));
    EXPECT_FALSE(AnyMounted(mounts, {{7, 0}}, resolve)) << "the malformed line does not count";
    EXPECT_FALSE(AnyMounted({}, {{8, 16}}, resolve));
}

} // namespace
