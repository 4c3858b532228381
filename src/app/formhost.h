#pragma once
// The main window as the commands see it: its boxes, status panel,
// progress bar PB1, message pump, cancel flag, busy state, selected rows,
// the property dialog and the rescan.
#include <chrono>

#include <QString>

#include "command/commandhost.h"
#include "media/brokerwait.h"

class TMain_Form;

class FormCommandHost : public CommandHost {
public:
    // The texts are the window's.
    explicit FormCommandHost(TMain_Form& form);

    int Box(const std::string& text, const std::string& caption, unsigned flags) override;
    void SetStatusText(const std::string& text) override;
    void EnableCommands(bool enable) override;
    void ClearCancel() override;
    std::vector<ImageEntry> SelectedImages() override;
    bool AskProperties(ImageTexts& texts) override;
    void Rescan() override;
    void ClearRows() override;
    void FillRows(std::vector<LibraryRow> rows, std::vector<ImageCondition> conditions) override;
    void SortRows(int sortColumn, int sortDirection) override;
    void HoldPainting(bool hold) override;

    // The bar works on positions scaled into its int range, so that it
    // reaches its end on media of any size.
    void SetProgressRange(std::uint64_t maximum) override;
    // Past a few seconds the status text gets the percentage, the speed
    // and the time left after the operation's own text.
    void SetProgress(std::uint64_t position) override;
    void SetProgressUnit(std::uint32_t bytes) override { unitBytes_ = bytes; }
    void ProcessMessages() override;
    bool CancelRequested() override;
    // The property dialog, captioned with message 39 and all fields empty.
    bool AskImageTexts(ImageTexts& texts) override;
    // Message 83 with the sector, caption message 4, Yes/No.
    bool AskKeepUnreadable(std::uint64_t sector) override;

private:
    std::chrono::steady_clock::time_point Now() const;

    TMain_Form& form_;
    std::uint64_t maximum_ = 0;
    std::uint64_t scale_ = 1;
    std::uint32_t unitBytes_ = 0;
    QString statusText_; // the operation's own text, as it stood at the range
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point drawn_{};
};

// The main window while an open waits for udisks2 (polkit may be asking the
// user in the agent's window): busy like a transfer, message 126 in the
// status panel, a wait cursor, and the window kept painted.
class FormBrokerWait : public BrokerWait {
public:
    explicit FormBrokerWait(TMain_Form& form) : form_(form) {}

    void Begin(const std::string& device) override;
    void Tick() override;
    void End() override;

private:
    TMain_Form& form_;
    bool wasBusy_ = false;
    QString previousText_;
};
