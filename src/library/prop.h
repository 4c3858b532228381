#pragma once
// The property dialog: the six descriptive fields of one image, each an
// editable drop-down box offering the field's entry history, with the
// dialog's own auto-completion. Created for one use by its opener (the
// property command, image creation), which sets the caption and the texts,
// runs it modally and reads the texts back after OK.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <QDialog>

#include "library/history.h"
#include "library/imagefile.h"
#include "settings/msgbox.h"

class MessageCatalogue;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class RegStore;

class TProperty_Form : public QDialog {
    Q_OBJECT
public:
    TProperty_Form(RegStore& store, const MessageCatalogue& messages, MessageBoxFunc messageBox,
                   QWidget* parent = nullptr);
    ~TProperty_Form() override;

    // A caption of the opener's own; it stays also with a language file.
    void SetCaption(const QString& caption);

    // The six texts as code page 932 bytes. A text the user leaves as it was
    // comes back with exactly the bytes it was given.
    void SetTexts(const ImageTexts& texts);
    void SetFieldBytes(int field, const std::string& bytes);
    ImageTexts Texts() const;
    std::string FieldBytes(int field) const;

    QComboBox* Edit(int field) const { return edits_[static_cast<std::size_t>(field)]; }

    // Virtual-key code of the most recent key pressed in one of the boxes.
    std::uint16_t LastKey() const { return lastKey_; }

    QFrame* Bevel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* OK_Btn;
    QPushButton* Cancel_Btn;
    QComboBox* Edit1;
    QComboBox* Edit2;
    QComboBox* Edit3;
    QComboBox* Edit4;
    QComboBox* Edit5;
    QComboBox* Edit6;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The text of a box and the bytes it stands for, when they are known
    // exactly (set by the opener, or saved at OK).
    struct KnownText {
        QString shown;
        std::string bytes;
    };

    void FormShow();
    bool FormCloseQuery();
    void Edit_KeyDown(std::uint16_t virtualKey);
    void Edit_Change(QComboBox* box);

    void LoadHistories();
    std::optional<std::string> BoxBytes(int field) const;
    void ShowError(const QString& text);

    RegStore& store_;
    const MessageCatalogue& messages_;
    MessageBoxFunc messageBox_;
    std::array<QComboBox*, kFieldCount> edits_{};
    std::array<QLabel*, kFieldCount> labels_{};
    std::array<KnownText, kFieldCount> known_{};
    std::array<HistoryList, kFieldCount> histories_{};
    std::uint16_t lastKey_ = 0;
    bool ownCaption_ = false;
    bool shown_ = false;
};
