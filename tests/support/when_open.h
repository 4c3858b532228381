#pragma once
// Acting on a modal dialog that the code under test opens with exec().
#include <functional>
#include <memory>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
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

// Acts on the modal dialog T once it is open, polling for up to ten
// seconds, for commands that let window messages run before their dialog
// opens. A dialog that act leaves open is rejected.
template <typename T>
void WhenModal(std::function<void(T&)> act)
{
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act = std::move(act)] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr && clock->elapsed() < 10000)
            return;
        timer->stop();
        timer->deleteLater();
        if (dialog == nullptr) {
            QTest::qFail("the expected dialog did not open", __FILE__, __LINE__);
            return;
        }
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    timer->start(5);
}
