#pragma once
// The main window as the commands see it: its boxes, status panel,
// progress bar PB1, message pump, cancel flag, busy state, selected rows,
// the property dialog and the rescan.
#include "command/commandhost.h"

class TMain_Form;

class FormCommandHost : public CommandHost {
public:
    explicit FormCommandHost(TMain_Form& form) : form_(form) {}

    int Box(const std::string& text, const std::string& caption, unsigned flags) override;
    void SetStatusText(const std::string& text) override;
    void EnableCommands(bool enable) override;
    void ClearCancel() override;
    std::vector<ImageEntry> SelectedImages() override;
    bool AskProperties(ImageTexts& texts) override;
    void Rescan() override;

    void SetProgressRange(std::uint32_t maximum) override;
    void SetProgress(std::uint32_t position) override;
    void ProcessMessages() override;
    bool CancelRequested() override;
    // The property dialog, captioned with message 39 and all fields empty.
    bool AskImageTexts(ImageTexts& texts) override;
    // Message 83 with the sector, caption message 4, Yes/No.
    bool AskKeepUnreadable(std::uint64_t sector) override;

private:
    TMain_Form& form_;
};
