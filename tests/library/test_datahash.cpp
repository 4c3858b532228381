#include "library/datahash.h"

#include "library/imagefile.h"
#include "support/shell.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

// The header must stay out of the hashes; the outside tools see only the data.
TEST(DataHash, FileHashesEqualTheSystemToolsOnTheDataAfterTheHeader)
{
    TempDir dir;
    HeaderBytes header = BuildHeader(ImageTexts{}, 1, 512, 0);
    std::string data = PseudoRandomBytes(3 * 1024 * 1024 + 77, 7); // more than one read buffer, odd tail
    dir.write("IMG1.TMP", std::string(header.begin(), header.end()) + data);
    std::string path = dir.file("IMG1.TMP");

    DataHashes h;
    ASSERT_TRUE(HashImageFile(path, h).ok());
    EXPECT_EQ(h.size, data.size());
    EXPECT_EQ(h.sha1, ShellLine("tail -c +257 '" + path + "' | sha1sum | cut -d' ' -f1"));
    EXPECT_EQ(h.md5, ShellLine("tail -c +257 '" + path + "' | md5sum | cut -d' ' -f1"));
    EXPECT_EQ(h.crc32, ShellLine("python3 -c \"import sys,zlib; d=open(sys.argv[1],'rb').read()[256:]; "
                           "print('%08x' % zlib.crc32(d))\" '" + path + "'"));
}

TEST(DataHash, PiecesAndRestartGiveTheSameHashes)
{
    std::string data = PseudoRandomBytes(10000, 3);
    auto span = [](const std::string& s, std::size_t from, std::size_t n) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()) + from, n);
    };
    DataHasher whole;
    whole.Update(span(data, 0, data.size()));
    DataHashes a = whole.Finish();

    DataHasher pieces;
    pieces.Update(span(data, 0, 1));
    pieces.Update(span(data, 1, 0));
    pieces.Update(span(data, 1, 4999));
    pieces.Update(span(data, 5000, 5000));
    DataHashes b = pieces.Finish();
    EXPECT_EQ(a.crc32, b.crc32);
    EXPECT_EQ(a.md5, b.md5);
    EXPECT_EQ(a.sha1, b.sha1);

    // Finish starts over: the empty input's well-known hashes.
    DataHashes empty = pieces.Finish();
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.crc32, "00000000");
    EXPECT_EQ(empty.md5, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(empty.sha1, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(DataHash, ShortOrMissingFileFailsWithItsReason)
{
    TempDir dir;
    dir.write("short", std::string(255, 'x'));
    DataHashes h;
    EXPECT_EQ(HashImageFile(dir.file("short"), h).error, ENODATA);
    EXPECT_EQ(HashImageFile(dir.file("absent"), h).error, ENOENT);
    EXPECT_EQ(HashImageFile(dir.path(), h).error, EISDIR);
}
