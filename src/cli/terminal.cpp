#include "cli/terminal.h"

#include <algorithm>
#include <cctype>

#include "cli/console.h"
#include "media/progress.h"
#include "settings/messages.h"

namespace {

// Progress is redrawn at most this often: a floppy sector takes far less.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

Terminal::Terminal(const MessageCatalogue& messages, bool assumeYes)
    : messages_(messages), assumeYes_(assumeYes), interactive_(IsTerminal(Stream::In)),
      showProgress_(IsTerminal(Stream::Err))
{
}

bool Terminal::interrupted() const
{
    return interrupted_ || CancelSignalled();
}

void Terminal::ClearProgressLine()
{
    if (lineShown_)
        WriteText(Stream::Err, "\r\033[K");
    lineShown_ = false;
}

int Terminal::Box(const std::string& text, unsigned flags)
{
    ClearProgressLine();
    const unsigned buttons = flags & box::ButtonMask;
    if (buttons == box::OK) {
        const bool information = (flags & box::IconMask) == box::ICONINFORMATION;
        WriteText(information ? Stream::Out : Stream::Err, text + "\n");
        return box::IDOK;
    }
    return Ask(text, buttons);
}

int Terminal::Ask(const std::string& text, unsigned buttons)
{
    const int yes = buttons == box::YESNO ? box::IDYES : buttons == box::RETRYCANCEL ? box::IDRETRY : box::IDOK;
    const int no = buttons == box::YESNO ? box::IDNO : box::IDCANCEL;
    const char* hint = buttons == box::YESNO ? " [y/n] " : buttons == box::RETRYCANCEL ? " [r/c] " : " [Enter/c] ";

    // --yes answers what the user chose to have answered; waiting for a
    // disk that is not there is no such answer, so Retry is never assumed.
    if (assumeYes_ && buttons != box::RETRYCANCEL) {
        WriteText(Stream::Err, text + "\n");
        return yes;
    }
    if (!interactive_ || CancelSignalled()) {
        WriteText(Stream::Err, text + "\n");
        if (!CancelSignalled() && buttons != box::RETRYCANCEL)
            WriteText(Stream::Err, messages_.Text(MessageId::NeedsYes) + "\n");
        unanswered_ = true;
        return no;
    }
    for (;;) {
        WriteText(Stream::Err, text + hint);
        std::string answer;
        if (!ReadAnswerLine(answer)) {
            WriteText(Stream::Err, "\n");
            interrupted_ = interrupted_ || CancelSignalled();
            unanswered_ = true;
            return no;
        }
        answer = Lower(answer);
        if (buttons == box::YESNO) {
            if (answer == "y" || answer == "yes")
                return yes;
            if (answer == "n" || answer == "no")
                return no;
        } else {
            const bool firstIsDefault = answer.empty();
            if (firstIsDefault || answer == "r" || answer == "retry" || answer == "o" || answer == "ok")
                return yes;
            if (answer == "c" || answer == "cancel")
                return no;
        }
    }
}

void Terminal::Status(const std::string& text)
{
    if (!showProgress_)
        return;
    ClearProgressLine();
    if (!text.empty())
        WriteText(Stream::Err, text + "\n");
}

void Terminal::Note(const std::string& text)
{
    ClearProgressLine();
    WriteText(Stream::Err, text + "\n");
}

void TerminalBrokerWait::Begin(const std::string& device)
{
    if (std::find(told_.begin(), told_.end(), device) != told_.end())
        return;
    told_.push_back(device);
    terminal_.Note(terminal_.Messages().Text(MessageId::WaitingForBroker, device));
}

void Terminal::SetProgressRange(std::uint64_t maximum)
{
    maximum_ = maximum;
    started_ = std::chrono::steady_clock::now();
    drawn_ = {};
}

void Terminal::SetProgress(std::uint64_t position)
{
    if (!showProgress_ || maximum_ == 0)
        return;
    if (position == 0 && lineShown_) {
        // The loops set 0 when the device is closed: the bar is done.
        ClearProgressLine();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (lineShown_ && now - drawn_ < kRedrawInterval)
        return;
    drawn_ = now;
    ProgressFigures figures;
    figures.done = position;
    figures.total = maximum_;
    figures.unitBytes = unitBytes_;
    figures.seconds = std::chrono::duration<double>(now - started_).count();
    WriteText(Stream::Err, "\r" + ProgressLine(figures, messages_.Text(MessageId::TimeLeft)) + "\033[K");
    lineShown_ = true;
}

void Terminal::ClearCancel()
{
    interrupted_ = interrupted();
    ClearCancelSignal();
}

int TerminalCommandHost::Box(const std::string& text, const std::string& caption, unsigned flags)
{
    (void)caption; // a terminal has no captions
    // A window's line break is one line end here.
    std::string lines = text;
    for (std::size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at))
        lines.erase(at, 1);
    return terminal_.Box(lines, flags);
}

std::string TerminalCommandHost::AboutFile(const std::string& path, const std::string& text) const
{
    return path + ": " + text;
}

bool TerminalCommandHost::AskKeepUnreadable(std::uint64_t sector)
{
    return terminal_.Box(messages.Text(MessageId::KeepUnreadable, std::to_string(sector)),
                         box::YESNO | box::ICONWARNING) == box::IDYES;
}

bool TerminalCommandHost::CancelRequested()
{
    return CancelSignalled();
}
