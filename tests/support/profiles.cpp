#include "support/profiles.h"

#include <algorithm>
#include <filesystem>

#include <QtTest>

WindowProfile::WindowProfile() { std::filesystem::create_directories(folder); }

void WindowProfile::configured(const std::string& drive)
{
    store.RegWriteString(0, kSystemKey, "Drive", drive);
    store.RegWriteString(0, kSystemKey, "Dir", folder);
}

MainFormServices WindowProfile::services()
{
    return MainFormServices{
        store,
        messages,
        boxes.func(),
        [] { return std::unique_ptr<DriveAccess>(); },
        [] { return std::vector<DriveEntry>{}; },
        dir.file("tessarine"),
        [](const std::string&) {},
        [](TMain_Form&, bool) {},
    };
}

std::unique_ptr<TMain_Form> ShowMainForm(MainFormServices services)
{
    auto form = std::make_unique<TMain_Form>(std::move(services));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        QTest::qFail("window not shown", __FILE__, __LINE__);
    return form;
}

std::unique_ptr<TProperty_Form> OpenPropertyDialog(RegStore& store, ScriptedBoxes& boxes, const ImageTexts& texts,
                                                   const MessageCatalogue& messages)
{
    auto form = std::make_unique<TProperty_Form>(store, messages, boxes.func());
    form->SetTexts(texts);
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowExposed(form.get()))
        QTest::qFail("dialog not shown", __FILE__, __LINE__);
    else if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("dialog did not become active");
    return form;
}

QStringList ColumnTexts(const TMain_Form& form, int column)
{
    QStringList texts;
    for (int i = 0; i < form.Controls().LV1->RowCount(); ++i)
        texts << form.Controls().LV1->Text(i, column);
    return texts;
}

std::vector<std::string> WindowProfile::files() const
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
