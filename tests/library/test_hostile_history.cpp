// Entry histories from a settings file edited or damaged by hand.
#include "library/prop.h"

#include <memory>

#include <QComboBox>
#include <QtTest>

#include "library/history.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/profiles.h"
#include "support/scripted_boxes.h"

class TestHostileHistory : public QObject {
    Q_OBJECT

    static void StoreLines(RegStore& store, int field, const std::string& lines)
    {
        store.RegWriteString(0, kHistoryKey, HistoryValueName(field), EscapeText(lines));
    }

    static QStringList Items(const QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

private slots:
    // 20,000 stored entries took seconds to fill into the boxes on every
    // first show; a history keeps 32, the newest first.
    void historyOfThousandsOfEntriesStalledTheFirstShow()
    {
        StoreProfile p;
        std::string lines;
        for (int i = 0; i < 20000; ++i)
            lines += "entry " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
        StoreLines(p.store, kTitle, lines);

        const HistoryList loaded = LoadHistory(p.store, kTitle);
        QCOMPARE(loaded.size(), kHistoryLimit);
        QCOMPARE(loaded.front(), std::string("entry 0"));
        QCOMPARE(loaded.back(), std::string("entry 31"));

        ScriptedBoxes boxes;
        auto form = OpenPropertyDialog(p.store, boxes);
        QCOMPARE(form->Edit1->count(), static_cast<int>(kHistoryLimit));
        QCOMPARE(form->Edit1->itemText(0), QStringLiteral("entry 0"));
        QVERIFY(boxes.shown().empty());
    }

    // One entry of megabytes took seconds to measure for the box's width.
    // No entry the dialog records comes near that; such entries are dropped
    // and the sensible ones kept in their order.
    void historyEntryOfMegabytesStalledTheFirstShow()
    {
        StoreProfile p;
        StoreLines(p.store, kAuthor,
                   "first\r\n" + std::string(1 << 20, 'W') + "\r\n" + std::string(256, 'K') + "\r\nlast\r\n");

        ScriptedBoxes boxes;
        auto form = OpenPropertyDialog(p.store, boxes);
        QCOMPARE(Items(form->Edit3), QStringList({"first", QString(256, 'K'), "last"}));
        QVERIFY(boxes.shown().empty());
    }
};

QTEST_MAIN(TestHostileHistory)
#include "test_hostile_history.moc"
