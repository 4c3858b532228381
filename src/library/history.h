#pragma once
// Entry history of the descriptive fields: per field up to 32 earlier
// entries, newest first, no duplicates (exact comparison), no empty entry.
// Entries are UTF-8 texts, as the settings store keeps every text.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "library/imagefile.h" // kFieldCount

class RegStore;

inline constexpr std::size_t kHistoryLimit = 32;

using HistoryList = std::vector<std::string>;

// Moves entry to the top (every equal entry removed first) or inserts it
// there, then drops the oldest entry beyond the limit. Empty entries are
// ignored: they never belong to a history.
void RecordHistoryEntry(HistoryList& list, const std::string& entry);

// The lines of a stored text (already unescaped); CR LF, LF or CR end a line,
// and empty lines are dropped.
HistoryList SplitHistoryLines(std::string_view text);

// Every entry followed by CR LF, ready for EscapeText.
std::string JoinHistoryLines(const HistoryList& list);

// "Item1" .. "Item6" for fields 0 .. 5.
std::string HistoryValueName(int field);

// Reads and writes one field's history under the History key; errors of the
// store propagate as RegError.
HistoryList LoadHistory(RegStore& store, int field);
void SaveHistory(RegStore& store, int field, const HistoryList& list);

// What OK of a property dialog stores: under the store's lock, each field's
// history as it is stored now (another dialog may have added to it since
// this one loaded it), this dialog's entry (UTF-8; empty: none) put on
// top. Returns the six lists as stored; errors propagate as RegError.
std::array<HistoryList, kFieldCount> MergeHistories(RegStore& store, const std::array<std::string, kFieldCount>& entries);
