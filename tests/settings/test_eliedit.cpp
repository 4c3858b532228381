#include "settings/eliedit.h"

#include <set>
#include <utility>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QtTest>

namespace {

using Pixel = std::pair<int, int>;

std::set<Pixel> PixelsOfColour(const QImage& image, QColor colour)
{
    std::set<Pixel> found;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                found.insert({x, y});
    return found;
}

const std::set<Pixel> kDots = {{3, 9},  {4, 9},  {7, 9},  {8, 9},  {11, 9},  {12, 9},
                               {3, 10}, {4, 10}, {7, 10}, {8, 10}, {11, 10}, {12, 10}};

// Red text, antialiased against a white base, still leans to red.
bool IsTextInk(QColor c)
{
    return c.red() > 120 && c.red() - c.green() > 60 && c.red() - c.blue() > 60;
}

// Rightmost column holding text ink, or -1.
int RightmostInk(const QImage& image)
{
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (IsTextInk(image.pixelColor(x, y)))
                return x;
    return -1;
}

void ShowAndWait(QWidget& w)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

// A shown window with a line edit and, after it in the tab order, an
// ellipsis edit holding "./Images".
struct FieldAfterLine : QWidget {
    QLineEdit* before = new QLineEdit(this);
    TEllipsisEdit* edit = new TEllipsisEdit(this);

    FieldAfterLine()
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(before);
        layout->addWidget(edit);
        edit->setText(QStringLiteral("./Images"));
        ShowAndWait(*this);
    }
};

} // namespace

class TestEllipsisEdit : public QObject {
    Q_OBJECT
private slots:
    void buttonDotsSitWhereComputedInEveryState()
    {
        TEllipsisButton button;
        button.resize(17, 20);
        const QColor ink = button.palette().color(QPalette::Active, QPalette::ButtonText);

        QCOMPARE(PixelsOfColour(button.grab().toImage(), ink), kDots);

        // Disabled: same place, same colour.
        button.setEnabled(false);
        QCOMPARE(PixelsOfColour(button.grab().toImage(), ink), kDots);

        // Pressed: the face changes, the dots do not; the gaps stay free.
        button.setEnabled(true);
        button.setDown(true);
        const QImage pressed = button.grab().toImage();
        for (const Pixel& p : kDots)
            QCOMPARE(pressed.pixelColor(p.first, p.second).rgb(), ink.rgb());
        for (const Pixel& gap : {Pixel{5, 9}, Pixel{6, 10}, Pixel{9, 9}, Pixel{10, 10}, Pixel{7, 8}, Pixel{8, 11}})
            QVERIFY(pressed.pixelColor(gap.first, gap.second).rgb() != ink.rgb());
    }

    void buttonTakesRightEdgeAndTextStopsFourPixelsBefore()
    {
        QWidget window;
        TEllipsisEdit edit(&window);
        edit.setGeometry(40, 76, 225, 20);
        ShowAndWait(window);

        const int extent = edit.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &edit);
        const QRect button = edit.Button()->geometry();
        QCOMPARE(button, QRect(225 - (extent + 1), 0, extent + 1, 20));
        QCOMPARE(edit.EditRect().right() + 1, button.left() - 4);

        // Resizing and a bigger font keep both rules.
        edit.resize(300, 26);
        QFont big = edit.font();
        big.setPointSize(14);
        edit.setFont(big);
        const QRect moved = edit.Button()->geometry();
        QCOMPARE(moved, QRect(300 - (extent + 1), 0, extent + 1, 26));
        QCOMPARE(edit.EditRect().right() + 1, moved.left() - 4);

        // Pointer: I-beam over the text, arrow over the button.
        QCOMPARE(edit.cursor().shape(), Qt::IBeamCursor);
        QWidget* overButton = edit.childAt(moved.center());
        QVERIFY(overButton != nullptr);
        QCOMPARE(overButton->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(edit.childAt(QPoint(10, 10)), nullptr);
    }

    void longTextNeverDrawsUnderTheButton()
    {
        QWidget window;
        TEllipsisEdit edit(&window);
        edit.setGeometry(0, 0, 225, 20);
        QPalette palette = edit.palette();
        palette.setColor(QPalette::Text, QColor(255, 0, 0));
        palette.setColor(QPalette::Base, Qt::white);
        edit.setPalette(palette);
        edit.setText(QStringLiteral("/home/someone/a/rather/long/folder/path/WWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
        ShowAndWait(window);
        const int limit = edit.Button()->x() - 4;

        // Caret at the start: the text runs on past the area and is cut.
        edit.setCursorPosition(0);
        int rightmost = RightmostInk(edit.grab().toImage());
        QVERIFY2(rightmost >= 0, "the text was not drawn");
        QVERIFY2(rightmost < limit, qPrintable(QStringLiteral("ink at x %1, limit %2").arg(rightmost).arg(limit)));
        QVERIFY(rightmost >= limit - 12);

        // Caret at the end: the text scrolls inside the area, not under the button.
        edit.end(false);
        rightmost = RightmostInk(edit.grab().toImage());
        QVERIFY(rightmost >= 0);
        QVERIFY2(rightmost < limit, qPrintable(QStringLiteral("ink at x %1, limit %2").arg(rightmost).arg(limit)));
    }

    void buttonFollowsEnabledState()
    {
        QWidget window;
        TEllipsisEdit edit(&window);
        edit.setEnabled(false);
        QVERIFY(!edit.Button()->isEnabled());
        edit.setEnabled(true);
        QVERIFY(edit.Button()->isEnabled());

        // Through the parent as well.
        window.setEnabled(false);
        QVERIFY(!edit.Button()->isEnabled());
        window.setEnabled(true);
        QVERIFY(edit.Button()->isEnabled());
    }

    void autoSelectByTabButNotByClick()
    {
        FieldAfterLine window;
        QLineEdit* before = window.before;
        TEllipsisEdit* edit = window.edit;

        before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(edit->hasFocus());
        QCOMPARE(edit->selectedText(), QStringLiteral("./Images"));

        before->setFocus(Qt::OtherFocusReason);
        QVERIFY(!edit->hasSelectedText());
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(6, edit->height() / 2));
        QVERIFY(edit->hasFocus());
        QVERIFY(!edit->hasSelectedText());

        edit->setAutoSelect(false);
        before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(edit->hasFocus());
        QVERIFY(!edit->hasSelectedText());
    }

    void buttonPressMovesFocusBeforeTheClick()
    {
        FieldAfterLine window;
        QLineEdit* before = window.before;
        TEllipsisEdit* edit = window.edit;
        before->setFocus(Qt::OtherFocusReason);

        int clicks = 0;
        bool focusedAtClick = false;
        TCustomEllipsisEdit* sender = nullptr;
        edit->OnEllipsisClick = [&](TCustomEllipsisEdit* s) {
            ++clicks;
            focusedAtClick = edit->hasFocus();
            sender = s;
        };
        TEllipsisButton* button = edit->Button();
        QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
        QVERIFY(edit->hasFocus());
        QVERIFY(!edit->hasSelectedText());
        QCOMPARE(clicks, 0);
        QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
        QCOMPARE(clicks, 1);
        QVERIFY(focusedAtClick);
        QCOMPARE(sender, edit);

        // Without a handler a click still moves the focus and does nothing else.
        edit->OnEllipsisClick = nullptr;
        before->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        QVERIFY(edit->hasFocus());
        QCOMPARE(clicks, 1);
    }

    void enterReachesTheDefaultButton()
    {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* edit = new TEllipsisEdit(&dialog);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        layout->addWidget(edit);
        layout->addWidget(ok);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        ShowAndWait(dialog);
        edit->setFocus(Qt::OtherFocusReason);
        edit->setText(QStringLiteral("x"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(edit->text(), QStringLiteral("x"));
    }
};

QTEST_MAIN(TestEllipsisEdit)
#include "test_eliedit.moc"
