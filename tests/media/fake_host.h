#pragma once
// A window for the copy loops that records what they show and presses Esc
// on cue.
#include <cstdint>
#include <optional>
#include <vector>

#include "media/transfer.h"

class FakeHost : public CreationHost {
public:
    // The property dialog's answer.
    bool answerOk = true;
    ImageTexts texts{};
    int dialogsShown = 0;

    // Esc is pressed during the n-th message pump (1-based).
    std::optional<int> escAtPump;
    bool cancel = false;

    std::uint64_t progressMax = 0;
    std::vector<std::uint64_t> positions; // every SetProgress, in order
    int pumps = 0;
    int verifications = 0; // read-backs begun

    void SetProgressRange(std::uint64_t maximum) override
    {
        progressMax = maximum;
        positions.push_back(0);
    }
    void SetProgress(std::uint64_t position) override { positions.push_back(position); }
    void Verifying() override { ++verifications; }
    void ProcessMessages() override
    {
        ++pumps;
        if (escAtPump && *escAtPump == pumps)
            cancel = true;
    }
    bool CancelRequested() override { return cancel; }
    // The answer to the unreadable-sector question, and the sectors it was asked for.
    bool keepUnreadable = false;
    std::vector<std::uint64_t> askedFor;
    bool AskKeepUnreadable(std::uint64_t sector) override
    {
        askedFor.push_back(sector);
        return keepUnreadable;
    }
    bool AskImageTexts(ImageTexts& out) override
    {
        ++dialogsShown;
        if (answerOk)
            out = texts;
        return answerOk;
    }
};
