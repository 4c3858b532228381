#include "settings/msgbox.h"

#include "settings/caption.h"

#include <QMessageBox>
#include <QPushButton>

int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & mb::IconMask) {
    case mb::ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case mb::ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case mb::ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case mb::ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct Choice { QMessageBox::StandardButton button; int result; };
    std::vector<Choice> choices;
    switch (flags & mb::ButtonMask) {
    case mb::OKCANCEL: choices = {{QMessageBox::Ok, mb::IDOK}, {QMessageBox::Cancel, mb::IDCANCEL}}; break;
    case mb::YESNO: choices = {{QMessageBox::Yes, mb::IDYES}, {QMessageBox::No, mb::IDNO}}; break;
    case mb::RETRYCANCEL: choices = {{QMessageBox::Retry, mb::IDRETRY}, {QMessageBox::Cancel, mb::IDCANCEL}}; break;
    default: choices = {{QMessageBox::Ok, mb::IDOK}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    box.setDefaultButton(choices.front().button);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    // A language file may leave the caption entry empty.
    if (caption.isEmpty())
        KeepEmptyCaption(box);
    box.raise();
    box.activateWindow();
    const int clicked = box.exec();
    for (const Choice& c : choices)
        if (clicked == c.button)
            return c.result;
    // Closed with Esc or the close box: the box's cancelling answer.
    if ((flags & mb::ButtonMask) == mb::YESNO)
        return mb::IDNO;
    return (flags & mb::ButtonMask) == mb::OK ? mb::IDOK : mb::IDCANCEL;
}
