// The entry history: its order and limit, and its stored one-line form.
#include "library/history.h"

#include <gtest/gtest.h>

#include "settings/regstore.h"
#include "support/tempdir.h"

TEST(History, RecordMovesOrInsertsAtTopWithinTheLimit)
{
    HistoryList list{"a", "b", "c", "d", "E", "f"};
    RecordHistoryEntry(list, "E"); // already fifth
    EXPECT_EQ(list, (HistoryList{"E", "a", "b", "c", "d", "f"}));

    // Comparison is exact: another letter case is another entry.
    RecordHistoryEntry(list, "e");
    EXPECT_EQ(list.size(), 7u);
    EXPECT_EQ(list[0], "e");
    EXPECT_EQ(list[1], "E");

    RecordHistoryEntry(list, "");
    EXPECT_EQ(list.size(), 7u);

    HistoryList full;
    for (int i = 0; i < 32; ++i)
        full.push_back(std::to_string(i));
    RecordHistoryEntry(full, "new");
    ASSERT_EQ(full.size(), 32u);
    EXPECT_EQ(full.front(), "new");
    EXPECT_EQ(full.back(), "30");
    // Moving an entry that is already there never drops another one.
    RecordHistoryEntry(full, "30");
    EXPECT_EQ(full.size(), 32u);
    EXPECT_EQ(full.back(), "29");
}

TEST(History, SplitsEveryLineEndAndDropsEmptyLines)
{
    EXPECT_EQ(SplitHistoryLines("a\r\nb\r\n"), (HistoryList{"a", "b"}));
    EXPECT_EQ(SplitHistoryLines("a\nb\rc"), (HistoryList{"a", "b", "c"}));
    EXPECT_EQ(SplitHistoryLines("\r\n\r\nx\r\n\r\n"), (HistoryList{"x"}));
    EXPECT_TRUE(SplitHistoryLines("").empty());
    EXPECT_EQ(JoinHistoryLines({"a", "b"}), "a\r\nb\r\n");
    EXPECT_EQ(JoinHistoryLines({}), "");
}

TEST(History, StoredAsOneEscapedLinePerField)
{
    TempDir dir;
    RegStore store(MakeFileBackend(dir.file("store.reg")));
    EXPECT_TRUE(LoadHistory(store, 0).empty());

    // Backslashes and the four characters \r\n inside an entry survive.
    const HistoryList entries{"C:\\GAMES", "a\\r\\nb", "日本"};
    SaveHistory(store, 3, entries);
    EXPECT_EQ(store.RegReadString(0, kHistoryKey, "Item4", ""),
              "C:\\\\GAMES\\r\\na\\\\r\\\\nb\\r\\n日本\\r\\n");
    EXPECT_EQ(LoadHistory(store, 3), entries);
    EXPECT_TRUE(LoadHistory(store, 2).empty());

    // A value written by hand with lower-case escapes and no last line end.
    store.RegWriteString(0, kHistoryKey, "Item6", "x\\R\\Ny");
    EXPECT_EQ(LoadHistory(store, 5), (HistoryList{"x", "y"}));
}
