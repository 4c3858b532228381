#include "media/memory_drive.h"

#include <gtest/gtest.h>

TEST(MemoryDrive, ReadsWritesAndInjectsFaults)
{
    MemoryDrive d;
    d.media['A'] = MemoryDrive::PatternMedium(10);
    EXPECT_TRUE(d.DriveReady('a').ready());
    EXPECT_FALSE(d.DriveReady('B').ready());
    IoStatus st;
    auto h = d.Open('A', true, st);
    ASSERT_TRUE(h);
    std::vector<std::uint8_t> buf(512);
    ASSERT_TRUE(h->ReadSector(9, buf).ok());
    EXPECT_FALSE(h->ReadSector(10, buf).ok());
    EXPECT_EQ(h->WriteSectors(10, 1, buf).error, ENOSPC);
    d.failReadAt = 3;
    EXPECT_EQ(h->ReadSector(3, buf).error, EIO);
    h.reset();
    EXPECT_EQ(d.openHandles, 0);
}
