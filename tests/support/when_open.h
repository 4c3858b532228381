#pragma once
// Acting on a modal dialog that the code under test opens with exec().
#include <functional>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QtTest>

// Runs act on the dialog of type T once it is the active modal window. A
// dialog that act leaves open is rejected, so a failed check cannot hang the
// test. seen (optional) keeps track of the dialog, to tell it is gone later.
template <typename T>
void WhenOpen(std::function<void(T&)> act, QPointer<T>* seen = nullptr)
{
    QTimer::singleShot(0, [act = std::move(act), seen] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            QTest::qFail("the expected dialog is not open", __FILE__, __LINE__);
            return;
        }
        if (seen != nullptr)
            *seen = dialog;
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}
