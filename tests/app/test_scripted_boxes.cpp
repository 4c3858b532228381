// The scripted answerer is what every window test relies on to notice a
// wrong or missing message box, so its own failure reporting is checked here.
#include "support/scripted_boxes.h"

#include <QtTest>

class TestScriptedBoxes : public QObject {
    Q_OBJECT
private slots:
    void answersInOrderAndRecordsEveryBox()
    {
        QWidget owner;
        ScriptedBoxes boxes;
        int seenDuring = 0;
        ExpectedBox second;
        second.text = QStringLiteral("二つ目");
        second.answer = mb::IDNO;
        second.whileOpen = [&](const RecordedBox& box) { seenDuring = box.icon() == mb::ICONQUESTION ? 1 : -1; };
        boxes.expect(QStringLiteral("一つ目"), QStringLiteral("確認"), mb::OKCANCEL | mb::ICONINFORMATION, mb::IDCANCEL)
            .expect(std::move(second));
        MessageBoxFunc box = boxes.func();

        QCOMPARE(box(&owner, QStringLiteral("一つ目"), QStringLiteral("確認"), mb::OKCANCEL | mb::ICONINFORMATION),
                 mb::IDCANCEL);
        QCOMPARE(box(nullptr, QStringLiteral("二つ目"), QStringLiteral("何でも"), mb::YESNO | mb::ICONQUESTION),
                 mb::IDNO);
        QCOMPARE(seenDuring, 1);
        QCOMPARE(boxes.pending(), std::size_t{0});
        QCOMPARE(boxes.shown().size(), std::size_t{2});
        QCOMPARE(boxes.shown()[0].owner.data(), &owner);
        QCOMPARE(boxes.shown()[0].buttons(), mb::OKCANCEL);
        QCOMPARE(boxes.shown()[1].caption, QStringLiteral("何でも"));
        QVERIFY(boxes.verifyDone());
    }

    void unexpectedBoxFailsAndGetsTheCancellingAnswer()
    {
        ScriptedBoxes boxes;
        QEXPECT_FAIL("", "no box was scripted", Continue);
        const int result = boxes.func()(nullptr, QStringLiteral("x"), QStringLiteral("y"), mb::YESNO);
        QCOMPARE(result, mb::IDNO);
        QCOMPARE(boxes.shown().size(), std::size_t{1});
    }

    void boxWithWrongCaptionFailsAndStaysPending()
    {
        ScriptedBoxes boxes;
        boxes.expect(QStringLiteral("t"), QStringLiteral("確認"), mb::OK, mb::IDOK);
        QEXPECT_FAIL("", "caption differs", Continue);
        boxes.func()(nullptr, QStringLiteral("t"), QStringLiteral("注意"), mb::OK);
        QCOMPARE(boxes.pending(), std::size_t{1});
        QEXPECT_FAIL("", "the expected box never came", Continue);
        QVERIFY(!boxes.verifyDone());
        QCOMPARE(boxes.pending(), std::size_t{0});
    }
};

QTEST_MAIN(TestScriptedBoxes)
#include "test_scripted_boxes.moc"
