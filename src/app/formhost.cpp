#include "app/formhost.h"

#include <algorithm>
#include <climits>
#include <string>

#include <QApplication>
#include <QProgressBar>

#include "app/mainform.h"
#include "library/prop.h"
#include "media/progress.h"
#include "settings/messages.h"

namespace {

// Figures show only for transfers long enough to wait for.
constexpr std::chrono::seconds kFiguresAfter{3};
constexpr std::chrono::milliseconds kRedrawInterval{500};

} // namespace

FormCommandHost::FormCommandHost(TMain_Form& form) : CommandHost(form.Messages()), form_(form) {}

int FormCommandHost::Box(const std::string& text, const std::string& caption, unsigned flags)
{
    return form_.ShowMessage(QString::fromStdString(text), QString::fromStdString(caption), flags);
}

void FormCommandHost::SetStatusText(const std::string& text)
{
    form_.SetStatusText(QString::fromStdString(text));
}

void FormCommandHost::EnableCommands(bool enable)
{
    form_.EnableCommands(enable);
}

void FormCommandHost::ClearCancel()
{
    form_.CancelRequested = false;
}

std::vector<ImageEntry> FormCommandHost::SelectedImages()
{
    std::vector<ImageEntry> entries;
    for (const LibraryRow& row : form_.SelectedRows())
        entries.push_back({row, form_.ImagePathOf(row)});
    return entries;
}

bool FormCommandHost::AskProperties(ImageTexts& texts)
{
    TProperty_Form dialog(form_.Store(), messages, form_.Services().messageBox, &form_);
    dialog.SetTexts(texts);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    texts = dialog.Texts();
    return true;
}

void FormCommandHost::Rescan()
{
    form_.IB_ReloadExecute();
}

void FormCommandHost::ClearRows()
{
    form_.LV1->Rows()->Clear();
    form_.Conditions.clear();
}

void FormCommandHost::FillRows(std::vector<LibraryRow> rows, std::vector<ImageCondition> conditions)
{
    form_.Conditions = std::move(conditions);
    form_.LV1->Rows()->Fill(std::move(rows));
}

void FormCommandHost::SortRows(int sortColumn, int sortDirection)
{
    form_.SortColumn = sortColumn;
    form_.SortDirection = sortDirection;
    form_.SortList();
}

void FormCommandHost::HoldPainting(bool hold)
{
    form_.LV1->setUpdatesEnabled(!hold);
}

void FormCommandHost::SetProgressRange(std::uint64_t maximum)
{
    maximum_ = maximum;
    scale_ = maximum / INT_MAX + 1;
    statusText_ = form_.StatusText();
    started_ = Now();
    drawn_ = started_;
    form_.PB1->setRange(0, static_cast<int>(maximum / scale_));
    form_.PB1->setValue(0);
}

void FormCommandHost::SetProgress(std::uint64_t position)
{
    form_.PB1->setValue(static_cast<int>(std::min(position, maximum_) / scale_));
    if (position == 0) {
        // The device is released: figures of a finished transfer would stand
        // beside its end box, so the command's own text comes back.
        if (drawn_ != started_)
            form_.SetStatusText(statusText_);
        drawn_ = started_;
        return;
    }
    const auto now = Now();
    if (now - started_ < kFiguresAfter || now - drawn_ < kRedrawInterval)
        return;
    drawn_ = now;
    const ProgressFigures figures{position, maximum_, unitBytes_,
                                  std::chrono::duration<double>(now - started_).count()};
    form_.SetStatusText(statusText_ + QStringLiteral("  ") +
                        QString::fromStdString(ProgressLine(figures, messages.Text(MessageId::TimeLeft), 0)));
}

std::chrono::steady_clock::time_point FormCommandHost::Now() const
{
    const auto& clock = form_.Services().clock;
    return clock ? clock() : std::chrono::steady_clock::now();
}

void FormCommandHost::ProcessMessages()
{
    TMain_Form::PumpMessages();
}

bool FormCommandHost::CancelRequested()
{
    return form_.CancelRequested;
}

bool FormCommandHost::AskKeepUnreadable(std::uint64_t sector)
{
    return Box(messages.Text(MessageId::KeepUnreadable, std::to_string(sector)),
               messages.Text(MessageId::CaptionWarning),
               mb::YESNO | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND) == mb::IDYES;
}

bool FormCommandHost::AskImageTexts(ImageTexts& texts)
{
    TProperty_Form dialog(form_.Store(), messages, form_.Services().messageBox, &form_);
    dialog.SetCaption(QString::fromStdString(messages.Text(MessageId::CreateDialogTitle)));
    dialog.SetTexts(ImageTexts{});
    if (dialog.exec() != QDialog::Accepted)
        return false;
    texts = dialog.Texts();
    return true;
}

void FormBrokerWait::Begin(const std::string& device)
{
    // The drive check runs before a command is busy; no other command may
    // start while the window is pumped here.
    wasBusy_ = form_.IsBusy();
    if (!wasBusy_)
        form_.EnableCommands(false);
    previousText_ = form_.StatusText();
    form_.SetStatusText(QString::fromStdString(form_.Messages().Text(MessageId::WaitingForBroker, device)));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TMain_Form::PumpMessages();
}

void FormBrokerWait::Tick()
{
    TMain_Form::PumpMessages();
}

void FormBrokerWait::End()
{
    QApplication::restoreOverrideCursor();
    form_.SetStatusText(previousText_);
    if (!wasBusy_)
        form_.EnableCommands(true);
    TMain_Form::PumpMessages();
}
