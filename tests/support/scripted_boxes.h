#pragma once
// A scripted stand-in for MessageBoxFunc in window tests: every box the code
// shows is recorded and answered from a script, in order. A box that the
// script does not expect, or an expected box that never came, fails the
// running QtTest function.
#include "settings/msgbox.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include <QPointer>
#include <QString>
#include <QWidget>

struct RecordedBox {
    QPointer<QWidget> owner;
    QWidget* ownerAtCall = nullptr; // kept for identity checks after the owner is gone
    QString text;
    QString caption;
    unsigned flags = 0;

    unsigned buttons() const { return flags & mb::ButtonMask; }
    unsigned icon() const { return flags & mb::IconMask; }
};

struct ExpectedBox {
    QString text;                   // must match exactly
    int answer = mb::IDOK;          // what the box "returns"
    std::optional<QString> caption; // checked when given
    std::optional<unsigned> flags;  // checked when given (all bits)
    // Runs while the box is "open", before it answers (to press keys, look
    // at the window's state, ...).
    std::function<void(const RecordedBox&)> whileOpen;
};

class ScriptedBoxes {
public:
    ScriptedBoxes() = default;
    ~ScriptedBoxes(); // reports boxes that were expected but never shown
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    // Appends one expected box to the script.
    ScriptedBoxes& expect(ExpectedBox box);
    ScriptedBoxes& expect(const QString& text, int answer = mb::IDOK);
    ScriptedBoxes& expect(const QString& text, const QString& caption, unsigned flags, int answer = mb::IDOK);

    // The function to hand to the code under test; valid while this object lives.
    MessageBoxFunc func();

    // Every box shown so far, expected or not.
    const std::vector<RecordedBox>& shown() const { return shown_; }
    // Expected boxes not shown yet.
    std::size_t pending() const { return script_.size() - next_; }

    // Fails the running test when expected boxes are still pending, then
    // forgets them; returns whether all were shown.
    bool verifyDone();

private:
    int answer(QWidget* owner, const QString& text, const QString& caption, unsigned flags);
    static int cancellingAnswer(unsigned flags);

    std::vector<ExpectedBox> script_;
    std::size_t next_ = 0;
    std::vector<RecordedBox> shown_;
};
