#pragma once
// A front end for the commands that answers every question from a script
// and writes down what a user would see, in order.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "command/commandhost.h"
#include "settings/messages.h"
#include "support/messages.h"

class ScriptedHost : public CommandHost {
public:
    // The built-in texts, or those of catalogue.
    ScriptedHost() : CommandHost(BuiltInMessages()) {}
    explicit ScriptedHost(const MessageCatalogue& catalogue) : CommandHost(catalogue) {}

    // Answers of the boxes with buttons to choose from, in turn; a box with
    // a question left over when the script is empty fails the test.
    std::deque<int> answers;
    std::vector<ImageEntry> selected;
    // The property dialogs: OK with these texts, or not.
    bool dialogOk = true;
    ImageTexts texts{};
    // Esc is pressed at the n-th message pump (1-based).
    int escAtPump = 0;
    // Runs at every message pump with its number (1-based).
    std::function<void(int)> onPump;

    // What happened: "box <text>", "status <text>", "busy", "idle",
    // "rescan", "dialog", "properties"; pumps and progress are counted.
    std::vector<std::string> seen;
    std::vector<unsigned> flags; // of each box
    int pumps = 0;
    bool cancel = false;
    std::uint64_t progress = 0;

    int Box(const std::string& text, const std::string& caption, unsigned f) override;
    void SetStatusText(const std::string& text) override { seen.push_back("status " + text); }
    void EnableCommands(bool enable) override { seen.push_back(enable ? "idle" : "busy"); }
    void ClearCancel() override { cancel = false; }
    std::vector<ImageEntry> SelectedImages() override { return selected; }
    bool AskProperties(ImageTexts& t) override;
    void Rescan() override { seen.push_back("rescan"); }
    // The list the scan fills: "clear", "fill <n>", "sort <column> <direction>"
    // (applied to rows, as the window's stable sort), "hold" and "paint".
    std::vector<LibraryRow> rows;
    void ClearRows() override;
    void FillRows(std::vector<LibraryRow> filled, std::vector<ImageCondition> conditions) override;
    void SortRows(int sortColumn, int sortDirection) override;
    void HoldPainting(bool hold) override { seen.push_back(hold ? "hold" : "paint"); }
    void SetProgressRange(std::uint64_t) override { progress = 0; }
    void SetProgress(std::uint64_t position) override { progress = position; }
    void ProcessMessages() override;
    bool CancelRequested() override { return cancel; }
    bool AskImageTexts(ImageTexts& t) override;
    bool AskKeepUnreadable(std::uint64_t) override { return Box("keep", "", mb::YESNO) == mb::IDYES; }

    // "box " + built-in message n, for comparing with seen.
    static std::string BoxOf(int n, std::string_view arg = {})
    {
        return "box " + BuiltInMessages().Text(MessageId(n), arg);
    }
};
