#include "library/prop.h"

#include <cerrno>

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QValidator>

#include "base/cp932.h"
#include "base/iostatus.h"
#include "settings/caption.h"
#include "settings/fonts.h"
#include "settings/messages.h"
#include "settings/messagestring.h"
#include "settings/regstore.h"
#include "base/textconv.h"

namespace {

// Virtual-key codes the completion looks at.
constexpr std::uint16_t kVkBack = 8, kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39,
                        kVkDown = 40, kVkInsert = 45, kVkDelete = 46;
// What a key that an input method consumes reports.
constexpr std::uint16_t kVkProcessKey = 229;

std::uint16_t VirtualKeyOf(const QKeyEvent& e)
{
    const int key = e.key();
    switch (key) {
    case Qt::Key_Backspace: return kVkBack;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return kVkEnd;
    case Qt::Key_Home: return kVkHome;
    case Qt::Key_Left: return kVkLeft;
    case Qt::Key_Up: return kVkUp;
    case Qt::Key_Right: return kVkRight;
    case Qt::Key_Down: return kVkDown;
    case Qt::Key_Insert: return kVkInsert;
    case Qt::Key_Delete: return kVkDelete;
    default: break;
    }
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<std::uint16_t>(key); // the same codes as the letters and digits
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::uint16_t>(112 + (key - Qt::Key_F1));
    // Characters outside the keyboard's own letters come through an input method.
    return e.text().isEmpty() ? 0 : kVkProcessKey;
}

bool StopsCompletion(std::uint16_t vk)
{
    switch (vk) {
    case kVkBack:
    case kVkEnd:
    case kVkHome:
    case kVkLeft:
    case kVkUp:
    case kVkRight:
    case kVkDown:
    case kVkInsert:
    case kVkDelete: return true;
    default: return false;
    }
}

std::optional<std::string> ToCp932(const QString& text) { return Utf8ToCp932(text.toStdString()); }

QString FromCp932(const std::string& bytes) { return QString::fromStdString(Cp932ToUtf8(bytes)); }

// Refuses, as they are typed or pasted, characters that code page 932 cannot
// hold and texts longer than the field's width in code page 932 bytes. A
// text that is already too long (a history entry edited by hand) may still
// be shortened.
class Cp932Validator : public QValidator {
public:
    Cp932Validator(std::size_t limit, QLineEdit* edit) : QValidator(edit), limit_(limit)
    {
        QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { current_ = text; });
    }

    State validate(QString& input, int&) const override
    {
        const std::optional<std::string> bytes = ToCp932(input);
        if (!bytes)
            return Invalid;
        if (bytes->size() > limit_) {
            const std::optional<std::string> before = ToCp932(current_);
            if (!before || bytes->size() > before->size())
                return Invalid;
        }
        return Acceptable;
    }

private:
    std::size_t limit_;
    QString current_;
};

// The dialog was laid out for a 12-pixel font; it keeps it on any screen.
QFont BuiltInDialogFont()
{
    QFont font = BuiltInFont();
    font.setPixelSize(12);
    return font;
}

} // namespace

TProperty_Form::TProperty_Form(RegStore& store, const MessageCatalogue& messages, MessageBoxFunc messageBox,
                               QWidget* parent)
    : QDialog(parent), store_(store), messages_(messages), messageBox_(std::move(messageBox))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("プロパティ"));
    setFont(BuiltInDialogFont());
    setFixedSize(356, 188);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(4, 4, 345, 149);

    OK_Btn = new QPushButton(QStringLiteral("OK"), this);
    OK_Btn->setGeometry(192, 160, 75, 20);
    OK_Btn->setDefault(true);
    connect(OK_Btn, &QPushButton::clicked, this, &QDialog::accept);

    Cancel_Btn = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel_Btn->setGeometry(274, 160, 75, 20);
    connect(Cancel_Btn, &QPushButton::clicked, this, &QDialog::reject);

    static const char* const kLabelTexts[kFieldCount] = {"タイトル(&T):", "著作権(&C):", "作成者(&A):",
                                                         "年(&Y):",       "対象機種(&M):", "対象OS(&O):"};
    for (int i = 0; i < kFieldCount; ++i) {
        const int top = 8 + 24 * i;
        auto* box = new QComboBox(this);
        box->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr); // the dialog completes on its own
        box->setGeometry(92, top, i == kYear ? 61 : 249, 20);
        QLineEdit* line = box->lineEdit();
        line->setValidator(new Cp932Validator(FieldWidth(i), line));
        if (i == kYear) {
            box->setAttribute(Qt::WA_InputMethodEnabled, false);
            line->setAttribute(Qt::WA_InputMethodEnabled, false);
        }
        box->installEventFilter(this);
        line->installEventFilter(this);
        connect(line, &QLineEdit::textEdited, this, [this, box] { Edit_Change(box); });
        edits_[static_cast<std::size_t>(i)] = box;

        auto* label = new QLabel(QString::fromUtf8(kLabelTexts[i]), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->move(12, 12 + 24 * i);
        label->adjustSize();
        label->setBuddy(box);
        labels_[static_cast<std::size_t>(i)] = label;
    }
    Edit1 = edits_[0], Edit2 = edits_[1], Edit3 = edits_[2], Edit4 = edits_[3], Edit5 = edits_[4], Edit6 = edits_[5];
    Label1 = labels_[0], Label2 = labels_[1], Label3 = labels_[2], Label4 = labels_[3], Label5 = labels_[4],
    Label6 = labels_[5];

    setTabOrder(OK_Btn, Cancel_Btn);
    setTabOrder(Cancel_Btn, Edit1);
    for (int i = 1; i < kFieldCount; ++i)
        setTabOrder(edits_[static_cast<std::size_t>(i - 1)], edits_[static_cast<std::size_t>(i)]);
}

TProperty_Form::~TProperty_Form() = default;

void TProperty_Form::SetCaption(const QString& caption)
{
    setWindowTitle(caption);
    ownCaption_ = true;
}

void TProperty_Form::SetTexts(const ImageTexts& texts)
{
    for (int i = 0; i < kFieldCount; ++i)
        SetFieldBytes(i, texts[static_cast<std::size_t>(i)]);
}

void TProperty_Form::SetFieldBytes(int field, const std::string& bytes)
{
    KnownText& known = known_[static_cast<std::size_t>(field)];
    known.bytes = bytes;
    known.shown = FromCp932(bytes);
    Edit(field)->setEditText(known.shown);
}

ImageTexts TProperty_Form::Texts() const
{
    ImageTexts texts;
    for (int i = 0; i < kFieldCount; ++i)
        texts[static_cast<std::size_t>(i)] = FieldBytes(i);
    return texts;
}

std::string TProperty_Form::FieldBytes(int field) const
{
    // Only a text code page 932 cannot hold has no bytes; the boxes refuse
    // such characters, and OK refuses to close with one.
    return BoxBytes(field).value_or(std::string());
}

std::optional<std::string> TProperty_Form::BoxBytes(int field) const
{
    const QString text = Edit(field)->currentText();
    const KnownText& known = known_[static_cast<std::size_t>(field)];
    if (text == known.shown)
        return known.bytes;
    return ToCp932(text);
}

void TProperty_Form::showEvent(QShowEvent* event)
{
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    if (windowTitle().isEmpty())
        KeepEmptyCaption(*this);
    QDialog::showEvent(event);
}

void TProperty_Form::FormShow()
{
    setFixedSize(Cancel_Btn->geometry().x() + Cancel_Btn->width() + 4,
                 Cancel_Btn->geometry().y() + Cancel_Btn->height() + 4);
    LoadHistories();

    if (messages_.LanguageLoaded()) {
        for (int i = 0; i < kFieldCount; ++i) {
            QLabel* label = labels_[static_cast<std::size_t>(i)];
            label->setText(Message(messages_, MessageId::FieldLabelTitle + i));
        }
        OK_Btn->setText(Message(messages_, MessageId::OkButton));
        Cancel_Btn->setText(Message(messages_, MessageId::CancelButton));
        if (!ownCaption_)
            setWindowTitle(Message(messages_, MessageId::PropertyTitle));
        setFont(MakeFont(messages_.Font()));
    }
    for (QLabel* label : labels_)
        label->adjustSize();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Edit1->setFocus();
}

void TProperty_Form::LoadHistories()
{
    try {
        for (int i = 0; i < kFieldCount; ++i)
            histories_[static_cast<std::size_t>(i)] = LoadHistory(store_, i);
    } catch (const RegError& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    for (int i = 0; i < kFieldCount; ++i) {
        QComboBox* box = Edit(i);
        // Filling the list would replace the opener's text by the first entry.
        const QString text = box->currentText();
        box->clear();
        for (const std::string& entry : histories_[static_cast<std::size_t>(i)])
            box->addItem(QString::fromStdString(entry));
        box->setCurrentIndex(-1);
        box->setEditText(text);
    }
}

void TProperty_Form::ShowError(const QString& text)
{
    messageBox_(this, text, Message(messages_, MessageId::CaptionError),
                mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
}

void TProperty_Form::done(int result)
{
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

bool TProperty_Form::FormCloseQuery()
{
    std::array<KnownText, kFieldCount> trimmed;
    for (int i = 0; i < kFieldCount; ++i) {
        const std::optional<std::string> bytes = BoxBytes(i);
        if (!bytes) {
            // Possible only through a history entry edited by hand outside
            // the program; nothing may be replaced silently on the way in.
            ShowError(QString::fromStdString(IoStatus::Fail(EILSEQ).message()));
            Edit(i)->setFocus();
            Edit(i)->lineEdit()->selectAll();
            return false;
        }
        KnownText& t = trimmed[static_cast<std::size_t>(i)];
        t.bytes = std::string(TrimBlanks(*bytes));
        t.shown = FromCp932(t.bytes);
    }
    if (trimmed[kTitle].bytes.empty()) {
        messageBox_(this, Message(messages_, MessageId::TitleRequired), Message(messages_, MessageId::CaptionConfirm),
                    mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
        Edit1->setFocus();
        return false;
    }

    std::array<std::string, kFieldCount> entries;
    for (int i = 0; i < kFieldCount; ++i) {
        const KnownText& t = trimmed[static_cast<std::size_t>(i)];
        // Bytes that code page 932 does not read (a damaged header left as
        // it was) make no entry: it could not be typed back.
        if (!t.bytes.empty() && !t.shown.contains(QChar::ReplacementCharacter))
            entries[static_cast<std::size_t>(i)] = t.shown.toStdString();
    }
    try {
        // Merged into what is stored now, not what this dialog loaded: a
        // second dialog (another instance) may have added entries meanwhile.
        histories_ = MergeHistories(store_, entries);
    } catch (const RegError& e) {
        ShowError(QString::fromStdString(e.what()));
        return false;
    }
    for (int i = 0; i < kFieldCount; ++i) {
        const KnownText& t = trimmed[static_cast<std::size_t>(i)];
        if (t.bytes.empty())
            continue;
        // The opener reads the trimmed value, with the bytes it came from.
        known_[static_cast<std::size_t>(i)] = t;
        Edit(i)->setEditText(t.shown);
    }
    return true;
}

bool TProperty_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        Edit_KeyDown(VirtualKeyOf(*static_cast<QKeyEvent*>(event)));
    } else if (event->type() == QEvent::InputMethod) {
        if (!static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
            Edit_KeyDown(kVkProcessKey);
    }
    return QDialog::eventFilter(watched, event);
}

void TProperty_Form::Edit_KeyDown(std::uint16_t virtualKey) { lastKey_ = virtualKey; }

void TProperty_Form::Edit_Change(QComboBox* box)
{
    QLineEdit* line = box->lineEdit();
    const QString typed = line->text();
    const int caret = line->cursorPosition();
    if (StopsCompletion(lastKey_) || typed.isEmpty())
        return;
    int found = -1;
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).startsWith(typed, Qt::CaseInsensitive)) {
            found = i;
            break;
        }
    }
    if (found < 0)
        return;
    box->setCurrentIndex(found);
    const QString completed = typed + box->itemText(found).mid(typed.size());
    line->setText(completed);
    // Caret where the user left it, the completed rest selected after it.
    line->setSelection(static_cast<int>(completed.size()), caret - static_cast<int>(completed.size()));
}
