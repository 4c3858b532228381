#include "settings/about1.h"

#include "settings/caption.h"
#include "settings/fonts.h"
#include "settings/messages.h"
#include "settings/messagestring.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

// The resource of a static library is linked only when named.
static void LinkIconResource()
{
    Q_INIT_RESOURCE(tessarine);
}

namespace {

const QString kProductName = QStringLiteral("Tessarine");
const QString kCopyright = QStringLiteral("Copyright (C) 2026 The Tessarine developers");
const QString kWebAddress = QStringLiteral("https://tessarine.example.org/");

// Set by the build from the project's version.
constexpr double kProgramVersion = TESSARINE_VERSION;

// A raised inner bevel inside a lowered outer one, each one pixel wide.
class BevelPanel : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect outer = rect();
        qDrawShadePanel(&p, outer, palette(), /*sunken=*/true, 1);
        qDrawShadePanel(&p, outer.adjusted(1, 1, -1, -1), palette(), /*sunken=*/false, 1);
    }
};

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& bounds)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(bounds);
    label->setAutoFillBackground(false); // transparent over the panel
    return label;
}

// The host's substitute for the built-in face may be taller than the face
// the bounds were made for; the label grows downwards so that descenders
// and the underline stay visible.
void FitHeightToFont(QLabel* label)
{
    const int needed = label->fontMetrics().height();
    if (label->height() < needed)
        label->resize(label->width(), needed);
}

void SetTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

QIcon ProgramIcon()
{
    LinkIconResource();
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files))
        icon.addFile(file.filePath());
    return icon;
}

QString FormatVersion(double version)
{
    QString text = QString::number(version, 'f', 2);
    // "#" shows no integer digit for a zero integer part.
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return text;
}

TAbout_Form::TAbout_Form(const MessageCatalogue& messages, QWidget* parent, UrlOpener opener)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      messages_(messages), opener_(std::move(opener))
{
    if (!opener_)
        opener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    setWindowTitle(QStringLiteral("バージョン情報"));
    setFont(BuiltInFont());

    Panel1 = new BevelPanel(this);
    Panel1->setGeometry(4, 4, 248, 89);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 32, 32);
    SetProgramIcon(QApplication::windowIcon());

    // Fonts set on a label are its own: the language font the dialog gets
    // later changes neither face nor size of these three.
    ProductName = MakeLabel(Panel1, kProductName, QRect(68, 12, 150, 13));
    QFont productFont = BuiltInFont();
    productFont.setPixelSize(13);
    ProductName->setFont(productFont);

    lblVer = MakeLabel(Panel1, QString(), QRect(60, 28, 171, 13));
    lblVer->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblVer->setWordWrap(true);
    lblVer->setFont(BuiltInFont());
    SetTextColour(lblVer, QColor(0x00, 0x80, 0x00));

    Copyright = MakeLabel(Panel1, kCopyright, QRect(66, 52, 159, 12));

    lblURL = MakeLabel(Panel1, QString(), QRect(32, 68, 209, 12));
    lblURL->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont urlFont = BuiltInFont();
    urlFont.setUnderline(true);
    lblURL->setFont(urlFont);
    SetTextColour(lblURL, QColor(0x00, 0x00, 0xFF));
    for (QLabel* label : {ProductName, lblVer, lblURL})
        FitHeightToFont(label);
    PlaceCopyright();
    lblURL->setCursor(Qt::PointingHandCursor);
    lblURL->installEventFilter(this);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(175, 100, 75, 22);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(256, 126);
}

void TAbout_Form::SetProgramIcon(const QIcon& icon)
{
    const QIcon shown = icon.isNull() ? ::ProgramIcon() : icon;
    ProgramIcon->setPixmap(shown.pixmap(32, 32).scaled(32, 32));
}

void TAbout_Form::PlaceCopyright()
{
    // Sized to its text at 66, 52. A line too long for the panel wraps
    // between there and the right end of the address, moving up so that it
    // stays clear of the address; never over the version text.
    constexpr int left = 66, top = 52;
    const int rightLimit = lblURL->x() + lblURL->width();
    const int addressTop = lblURL->y();
    const int versionBottom = lblVer->y() + lblVer->height();
    Copyright->setWordWrap(false);
    Copyright->adjustSize();
    if (left + Copyright->width() <= rightLimit) {
        Copyright->move(left, top);
        return;
    }
    Copyright->setWordWrap(true);
    const int width = rightLimit - left;
    const int height = Copyright->heightForWidth(width);
    Copyright->setGeometry(left, std::max(versionBottom, std::min(top, addressTop - height)), width, height);
}

void TAbout_Form::FormShow()
{
    if (shown_)
        return;
    shown_ = true;

    const QRect panel = Panel1->geometry();
    const QRect ok = OKBtn->geometry();
    setFixedSize(panel.x() + panel.width() + 4, ok.y() + ok.height() + 4);

    lblVer->setText(QStringLiteral("version ") + FormatVersion(kProgramVersion));
    lblURL->setText(kWebAddress);

    if (messages_.LanguageLoaded()) {
        setWindowTitle(Message(messages_, MessageId::AboutTitle));
        OKBtn->setText(Message(messages_, MessageId::OkButton));
        setFont(MakeFont(messages_.Font()));
        PlaceCopyright();
    }

    if (const QScreen* screen = (parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TAbout_Form::lblURLClick()
{
    opener_(QUrl(lblURL->text()));
}

void TAbout_Form::showEvent(QShowEvent* event)
{
    FormShow();
    if (windowTitle().isEmpty())
        KeepEmptyCaption(*this);
    QDialog::showEvent(event);
}

void TAbout_Form::keyPressEvent(QKeyEvent* event)
{
    // No cancel button: Esc leaves the box open.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TAbout_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblURL && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && lblURL->rect().contains(mouse->position().toPoint())) {
            lblURLClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutBox(QWidget* owner, const MessageCatalogue& messages)
{
    TAbout_Form form(messages, owner);
    form.SetProgramIcon(QApplication::windowIcon());
    form.exec();
}
