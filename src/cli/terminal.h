#pragma once
// The terminal as the commands see it: the message boxes become texts and
// typed answers, the status panel a line, the progress bar a redrawn line,
// and Ctrl-C the Esc key.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include <vector>

#include "command/commandhost.h"
#include "media/brokerwait.h"
#include "settings/boxflags.h"

// The commands' box flags, as the windows use them.
namespace box = mb;

class Terminal {
public:
    // assumeYes: every Yes/No and OK/Cancel question is answered Yes / OK
    // (--yes). Questions are typed only when standard input is a terminal;
    // otherwise they get the answer that changes nothing.
    // messages: the texts of every box and line.
    Terminal(const MessageCatalogue& messages, bool assumeYes);

    const MessageCatalogue& Messages() const { return messages_; }

    // A box: information to standard output, everything else to standard
    // error; questions wait for an answer. Returns a box:: answer.
    int Box(const std::string& text, unsigned flags);

    // The status panel: shown while standard error is a terminal.
    void Status(const std::string& text);
    // A line on standard error, terminal or not.
    void Note(const std::string& text);

    // The progress bar (none when standard error is not a terminal).
    void SetProgressRange(std::uint64_t maximum);
    void SetProgress(std::uint64_t position);
    void SetUnitBytes(std::uint64_t bytes) { unitBytes_ = bytes; }

    // A question was left unanswered (Ctrl-C, end of input, or nobody to
    // ask) and took its cautious answer.
    bool unanswered() const { return unanswered_; }
    // The user pressed Ctrl-C at some point of this run.
    bool interrupted() const;
    // Clears the cancel request (as Esc's flag is cleared), remembering
    // that there was one.
    void ClearCancel();

private:
    void ClearProgressLine();
    int Ask(const std::string& text, unsigned buttons);

    const MessageCatalogue& messages_;
    bool assumeYes_;
    bool interactive_;
    bool showProgress_;
    bool unanswered_ = false;
    bool lineShown_ = false;
    bool interrupted_ = false;
    std::uint64_t maximum_ = 0;
    std::uint64_t unitBytes_ = 0;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point drawn_{};
};

// The terminal while an open waits for udisks2 (polkit may be asking on
// another terminal or in the desktop's agent): message 126 on one line, once
// a run for each device, as a command opens its drive several times.
class TerminalBrokerWait : public BrokerWait {
public:
    explicit TerminalBrokerWait(Terminal& terminal) : terminal_(terminal) {}

    void Begin(const std::string& device) override;
    void Tick() override {}
    void End() override {}

private:
    Terminal& terminal_;
    std::vector<std::string> told_;
};

// The commands' front end on the terminal. The property dialogs are the
// texts given on the command line, handed over by the two functions; the
// selected entries are the images named on the command line.
class TerminalCommandHost : public CommandHost {
public:
    explicit TerminalCommandHost(Terminal& terminal, std::vector<ImageEntry> images = {})
        : CommandHost(terminal.Messages()), terminal_(terminal), images_(std::move(images))
    {
    }

    // Creation's six texts; empty: creation is refused.
    std::function<bool(ImageTexts&)> askImageTexts;
    // The edit of an image's texts; empty: nothing is edited.
    std::function<bool(ImageTexts&)> askProperties;

    int Box(const std::string& text, const std::string& caption, unsigned flags) override;
    void SetStatusText(const std::string& text) override { terminal_.Status(text); }
    void EnableCommands(bool) override {}
    void ClearCancel() override { terminal_.ClearCancel(); }
    std::vector<ImageEntry> SelectedImages() override { return images_; }
    bool AskProperties(ImageTexts& texts) override { return askProperties && askProperties(texts); }
    void Rescan() override {}
    // "path: text": a run may name many files.
    std::string AboutFile(const std::string& path, const std::string& text) const override;

    void SetProgressRange(std::uint64_t maximum) override { terminal_.SetProgressRange(maximum); }
    void SetProgress(std::uint64_t position) override { terminal_.SetProgress(position); }
    void SetProgressUnit(std::uint32_t bytes) override { terminal_.SetUnitBytes(bytes); }
    void ProcessMessages() override {}
    bool CancelRequested() override;
    bool AskImageTexts(ImageTexts& texts) override { return askImageTexts && askImageTexts(texts); }
    // Message 83 as a yes/no question (--yes answers yes).
    bool AskKeepUnreadable(std::uint64_t sector) override;

private:
    Terminal& terminal_;
    std::vector<ImageEntry> images_;
};
