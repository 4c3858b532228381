#pragma once
// The about box: product name, icon, version, copyright line and the web
// address, which opens in the browser when clicked. Created for one use.
#include <functional>

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QUrl>

class MessageCatalogue;
class QFrame;
class QLabel;
class QPushButton;

// The version as the pattern "#.00" shows it: optional integer digits,
// exactly two decimals (2.02 -> "2.02", 0.5 -> ".50").
QString FormatVersion(double version);

// The program's own icon in every size the build embeds.
QIcon ProgramIcon();

class TAbout_Form : public QDialog {
    Q_OBJECT
public:
    // Opens an address; the result is not looked at.
    using UrlOpener = std::function<void(const QUrl& url)>;

    // opener: how lblURLClick opens the address; empty for the desktop's browser.
    explicit TAbout_Form(const MessageCatalogue& messages, QWidget* parent = nullptr, UrlOpener opener = {});

    // The icon drawn at 32 by 32; a null icon gives the program's own.
    void SetProgramIcon(const QIcon& icon);

    // First-show handling: size, version and address texts, language texts.
    void FormShow();
    // Opens the address that lblURL shows.
    void lblURLClick();

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* lblVer;
    QLabel* Copyright;
    QLabel* lblURL;
    QPushButton* OKBtn;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceCopyright();

    const MessageCatalogue& messages_;
    UrlOpener opener_;
    bool shown_ = false;
};

// IB_About: the box for one use, modal over owner, destroyed when it closes.
void ShowAboutBox(QWidget* owner, const MessageCatalogue& messages);
