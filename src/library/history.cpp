#include "library/history.h"

#include <algorithm>

#include "settings/messages.h"
#include "settings/regstore.h"

void RecordHistoryEntry(HistoryList& list, const std::string& entry)
{
    if (entry.empty())
        return;
    std::erase(list, entry);
    list.insert(list.begin(), entry);
    if (list.size() > kHistoryLimit)
        list.resize(kHistoryLimit);
}

HistoryList SplitHistoryLines(std::string_view text)
{
    HistoryList lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r')
            ++start;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::string JoinHistoryLines(const HistoryList& list)
{
    std::string text;
    for (const std::string& line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string HistoryValueName(int field) { return "Item" + std::to_string(field + 1); }

namespace {

// Far above any entry the dialog records (30 code page 932 bytes are at
// most 90 bytes of UTF-8).
constexpr std::size_t kHistoryEntryBytes = 256;

} // namespace

HistoryList LoadHistory(RegStore& store, int field)
{
    HistoryList list =
        SplitHistoryLines(UnescapeText(store.RegReadString(0, kHistoryKey, HistoryValueName(field), "")));
    // A store edited by hand may hold more, or far longer, entries than the
    // dialog ever records; filling the boxes with them stalls its first show.
    std::erase_if(list, [](const std::string& entry) { return entry.size() > kHistoryEntryBytes; });
    if (list.size() > kHistoryLimit)
        list.resize(kHistoryLimit);
    return list;
}

void SaveHistory(RegStore& store, int field, const HistoryList& list)
{
    store.RegWriteString(0, kHistoryKey, HistoryValueName(field), EscapeText(JoinHistoryLines(list)));
}

std::array<HistoryList, kFieldCount> MergeHistories(RegStore& store, const std::array<std::string, kFieldCount>& entries)
{
    std::array<HistoryList, kFieldCount> lists;
    store.Transaction([&] {
        for (int f = 0; f < kFieldCount; ++f) {
            HistoryList& list = lists[static_cast<std::size_t>(f)];
            list = LoadHistory(store, f);
            RecordHistoryEntry(list, entries[static_cast<std::size_t>(f)]);
            SaveHistory(store, f, list);
        }
    });
    return lists;
}
