#include "app/infoform.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/messages.h"

TInfo_Form::TInfo_Form(const MessageCatalogue& messages, const QString& caption, const ReportLines& lines,
                       QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    Lines = new QFormLayout;
    Lines->setLabelAlignment(Qt::AlignLeft);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const auto& [label, value] : lines) {
        auto* shown = new QLabel(QString::fromStdString(value));
        // Hashes are compared and pasted elsewhere: selectable, in a fixed font.
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        if (label == "CRC32" || label == "MD5" || label == "SHA-1")
            shown->setFont(fixed);
        Lines->addRow(QString::fromStdString(label) + ":", shown);
    }
    layout->addLayout(Lines);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromStdString(messages.Text(MessageId::OkButton)));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TInfo_Form::Value(const QString& label) const
{
    for (int row = 0; row < Lines->rowCount(); ++row) {
        auto* name = qobject_cast<QLabel*>(Lines->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* value = qobject_cast<QLabel*>(Lines->itemAt(row, QFormLayout::FieldRole)->widget());
        if (name != nullptr && value != nullptr && name->text() == label + ":")
            return value->text();
    }
    return {};
}
