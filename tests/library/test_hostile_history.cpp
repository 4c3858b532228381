// Entry histories from a settings file edited or damaged by hand.
#include "library/prop.h"

#include <memory>

#include <QComboBox>
#include <QtTest>

#include "library/history.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/scripted_boxes.h"
#include "support/tempdir.h"

class TestHostileHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<RegStore> store_;

    void StoreLines(int field, const std::string& lines)
    {
        store_->RegWriteString(0, kHistoryKey, HistoryValueName(field), EscapeText(lines));
    }

    static QStringList Items(const QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

private slots:
    void init()
    {
        InitMessages("/nonexistent/tessarine");
        dir_ = std::make_unique<TempDir>();
        store_ = std::make_unique<RegStore>(MakeFileBackend(dir_->file("store.reg")));
    }

    void cleanup()
    {
        store_.reset();
        dir_.reset();
    }

    // 20,000 stored entries took seconds to fill into the boxes on every
    // first show; a history keeps 32, the newest first.
    void historyOfThousandsOfEntriesStalledTheFirstShow()
    {
        std::string lines;
        for (int i = 0; i < 20000; ++i)
            lines += "entry " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
        StoreLines(kTitle, lines);

        const HistoryList loaded = LoadHistory(*store_, kTitle);
        QCOMPARE(loaded.size(), kHistoryLimit);
        QCOMPARE(loaded.front(), std::string("entry 0"));
        QCOMPARE(loaded.back(), std::string("entry 31"));

        ScriptedBoxes boxes;
        TProperty_Form form(*store_, boxes.func());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.Edit1->count(), static_cast<int>(kHistoryLimit));
        QCOMPARE(form.Edit1->itemText(0), QStringLiteral("entry 0"));
        QVERIFY(boxes.shown().empty());
    }

    // One entry of megabytes took seconds to measure for the box's width.
    // No entry the dialog records comes near that; such entries are dropped
    // and the sensible ones kept in their order.
    void historyEntryOfMegabytesStalledTheFirstShow()
    {
        StoreLines(kAuthor, "first\r\n" + std::string(1 << 20, 'W') + "\r\n" + std::string(256, 'K') + "\r\nlast\r\n");

        ScriptedBoxes boxes;
        TProperty_Form form(*store_, boxes.func());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(Items(form.Edit3), QStringList({"first", QString(256, 'K'), "last"}));
        QVERIFY(boxes.shown().empty());
    }
};

QTEST_MAIN(TestHostileHistory)
#include "test_hostile_history.moc"
