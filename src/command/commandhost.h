#pragma once
// The front end a command runs in: the main window, or a terminal. The
// commands decide which box to show, in which order and what follows; the
// host only shows, asks and reports.
#include <string>
#include <vector>

#include "library/scan.h"
#include "media/transfer.h"
#include "settings/boxflags.h"
#include "settings/messages.h"

// One library entry a command acts on: the row as the list holds it (the
// stored bytes) and the path of its file.
struct ImageEntry {
    LibraryRow row;
    std::string path;
};

class CommandHost : public CreationHost {
public:
    explicit CommandHost(const MessageCatalogue& catalogue) : messages(catalogue) {}

    // The texts the command's boxes and status lines take.
    const MessageCatalogue& messages;

    // A message box with MessageBoxA-like flags; returns an mb::ID* answer.
    virtual int Box(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // Status panel 1 (empty: cleared).
    virtual void SetStatusText(const std::string& text) = 0;
    // Busy state: false enters it, true leaves it and recomputes the
    // commands that depend on the selection.
    virtual void EnableCommands(bool enable) = 0;
    // CancelRequested := false.
    virtual void ClearCancel() = 0;
    // The selected entries, in list order.
    virtual std::vector<ImageEntry> SelectedImages() = 0;
    // The property dialog over an image's texts; true on OK, texts then
    // holds the (trimmed, recorded) entries.
    virtual bool AskProperties(ImageTexts& texts) = 0;
    // Rescans the image folder into the list.
    virtual void Rescan() = 0;
    // The library list the scan fills (a terminal has none): emptied, filled
    // in folder order, sorted once with the list's comparison over this sort
    // state (stable), and its painting held while the rows move.
    virtual void ClearRows() {}
    virtual void FillRows(std::vector<LibraryRow> rows, std::vector<ImageCondition> conditions)
    {
        (void)rows;
        (void)conditions;
    }
    virtual void SortRows(int sortColumn, int sortDirection)
    {
        (void)sortColumn;
        (void)sortDirection;
    }
    virtual void HoldPainting(bool hold) { (void)hold; }
    // Restoration: the status text while a medium is read back, set by the
    // command for each medium.
    std::string verifyingText;
    void Verifying() override
    {
        SetStatusText(verifyingText);
        ProcessMessages();
    }
    // The text of a box about one file: the window has the row selected and
    // shows the text alone; a terminal names the file.
    virtual std::string AboutFile(const std::string& path, const std::string& text) const
    {
        (void)path;
        return text;
    }
};
