#include "command/scripted_host.h"

#include <gtest/gtest.h>

int ScriptedHost::Box(const std::string& text, const std::string& caption, unsigned f)
{
    (void)caption;
    seen.push_back("box " + text);
    flags.push_back(f);
    if ((f & mb::ButtonMask) == mb::OK)
        return mb::IDOK;
    if (answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << text;
        return mb::IDCANCEL;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedHost::AskProperties(ImageTexts& t)
{
    seen.push_back("properties");
    if (dialogOk)
        t = texts;
    return dialogOk;
}

bool ScriptedHost::AskImageTexts(ImageTexts& t)
{
    seen.push_back("dialog");
    if (dialogOk)
        t = texts;
    return dialogOk;
}

void ScriptedHost::ProcessMessages()
{
    if (++pumps == escAtPump)
        cancel = true;
    if (onPump)
        onPump(pumps);
}

void ScriptedHost::ClearRows()
{
    seen.push_back("clear");
    rows.clear();
}

void ScriptedHost::FillRows(std::vector<LibraryRow> filled, std::vector<ImageCondition> conditions)
{
    EXPECT_EQ(filled.size(), conditions.size());
    seen.push_back("fill " + std::to_string(filled.size()));
    rows = std::move(filled);
}

void ScriptedHost::SortRows(int sortColumn, int sortDirection)
{
    seen.push_back("sort " + std::to_string(sortColumn) + " " + std::to_string(sortDirection));
    RowOrder order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    SortRowOrder(rows, order, [&](const LibraryRow& a, const LibraryRow& b) {
        return CompareRows(a, b, sortColumn, sortDirection);
    });
    std::vector<LibraryRow> sorted;
    for (const std::uint32_t i : order)
        sorted.push_back(rows[i]);
    rows = std::move(sorted);
}
