#include "support/scripted_boxes.h"

#include <QtTest>

namespace {

QString Describe(const QString& text, const QString& caption, unsigned flags)
{
    return QStringLiteral("box \"%1\" caption \"%2\" flags 0x%3")
        .arg(text, caption, QString::number(flags, 16));
}

void Fail(const QString& message)
{
    QTest::qFail(qPrintable(message), __FILE__, __LINE__);
}

} // namespace

ScriptedBoxes::~ScriptedBoxes()
{
    verifyDone();
}

ScriptedBoxes& ScriptedBoxes::expect(ExpectedBox box)
{
    script_.push_back(std::move(box));
    return *this;
}

ScriptedBoxes& ScriptedBoxes::expect(const QString& text, int answer)
{
    ExpectedBox box;
    box.text = text;
    box.answer = answer;
    return expect(std::move(box));
}

ScriptedBoxes& ScriptedBoxes::expect(const QString& text, const QString& caption, unsigned flags, int answer)
{
    ExpectedBox box;
    box.text = text;
    box.caption = caption;
    box.flags = flags;
    box.answer = answer;
    return expect(std::move(box));
}

MessageBoxFunc ScriptedBoxes::func()
{
    return [this](QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
        return answer(owner, text, caption, flags);
    };
}

bool ScriptedBoxes::verifyDone()
{
    if (next_ >= script_.size())
        return true;
    QString missing;
    for (std::size_t i = next_; i < script_.size(); ++i)
        missing += QStringLiteral("\n  \"%1\"").arg(script_[i].text);
    Fail(QStringLiteral("%1 expected message box(es) never shown:%2").arg(script_.size() - next_).arg(missing));
    next_ = script_.size();
    return false;
}

int ScriptedBoxes::cancellingAnswer(unsigned flags)
{
    switch (flags & mb::ButtonMask) {
    case mb::OK: return mb::IDOK;
    case mb::YESNO: return mb::IDNO;
    default: return mb::IDCANCEL;
    }
}

int ScriptedBoxes::answer(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    RecordedBox seen;
    seen.owner = owner;
    seen.ownerAtCall = owner;
    seen.text = text;
    seen.caption = caption;
    seen.flags = flags;
    shown_.push_back(seen);

    if (next_ >= script_.size()) {
        Fail(QStringLiteral("unexpected %1").arg(Describe(text, caption, flags)));
        return cancellingAnswer(flags);
    }
    const ExpectedBox& want = script_[next_];
    QString mismatch;
    if (text != want.text)
        mismatch += QStringLiteral("\n  text: expected \"%1\"").arg(want.text);
    if (want.caption && caption != *want.caption)
        mismatch += QStringLiteral("\n  caption: expected \"%1\"").arg(*want.caption);
    if (want.flags && flags != *want.flags)
        mismatch += QStringLiteral("\n  flags: expected 0x%1").arg(QString::number(*want.flags, 16));
    if (!mismatch.isEmpty()) {
        // Leave the script where it is: the expected box may still come.
        Fail(QStringLiteral("unexpected %1%2").arg(Describe(text, caption, flags), mismatch));
        return cancellingAnswer(flags);
    }
    ++next_;
    if (want.whileOpen)
        want.whileOpen(seen);
    return want.answer;
}
