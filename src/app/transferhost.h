#pragma once
// The main window as the copy loops see it: its progress bar PB1, its
// message pump, its cancel flag, and (for creation) the property dialog.
#include "media/transfer.h"

class TMain_Form;

class FormTransferHost : public CreationHost {
public:
    explicit FormTransferHost(TMain_Form& form) : form_(form) {}

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
