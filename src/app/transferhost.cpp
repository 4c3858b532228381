#include "app/transferhost.h"

#include <algorithm>
#include <climits>
#include <string>

#include <QProgressBar>

#include "app/mainform.h"
#include "library/prop.h"
#include "settings/messages.h"

namespace {

int BarValue(std::uint32_t value)
{
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

} // namespace

void FormTransferHost::SetProgressRange(std::uint32_t maximum)
{
    form_.PB1->setRange(0, BarValue(maximum));
    form_.PB1->setValue(0);
}

void FormTransferHost::SetProgress(std::uint32_t position)
{
    form_.PB1->setValue(BarValue(position));
}

void FormTransferHost::ProcessMessages()
{
    TMain_Form::PumpMessages();
}

bool FormTransferHost::CancelRequested()
{
    return form_.CancelRequested;
}

bool FormTransferHost::AskKeepUnreadable(std::uint64_t sector)
{
    return form_.ShowMessage(QString::fromStdString(MessageText(83, std::to_string(sector))),
                             QString::fromStdString(MessageText(4)),
                             mb::YESNO | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND) == mb::IDYES;
}

bool FormTransferHost::AskImageTexts(ImageTexts& texts)
{
    TProperty_Form dialog(form_.Store(), form_.Services().messageBox, &form_);
    dialog.SetCaption(QString::fromStdString(MessageText(39)));
    dialog.SetTexts(ImageTexts{});
    if (dialog.exec() != QDialog::Accepted)
        return false;
    texts = dialog.Texts();
    return true;
}
