#include "settings/eliedit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyleOptionToolButton>

namespace {
// Gap between the end of the text area and the button.
constexpr int kTextGap = 4;
} // namespace

// ---------------------------------------------------------------------------

TEllipsisButton::TEllipsisButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    // The flat face reacts to the pointer passing over it.
    setAttribute(Qt::WA_Hover);
    // The button never takes the parent's background colour as its face.
    setAutoFillBackground(false);
}

void TEllipsisButton::setFlat(bool flat)
{
    if (flat_ == flat)
        return;
    flat_ = flat;
    update();
}

QSize TEllipsisButton::sizeHint() const
{
    return QSize(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) + 1, 20);
}

void TEllipsisButton::mousePressEvent(QMouseEvent* event)
{
    // The edit takes the keyboard focus before the click does anything.
    if (event->button() == Qt::LeftButton && parentWidget() != nullptr)
        parentWidget()->setFocus(Qt::MouseFocusReason);
    QAbstractButton::mousePressEvent(event);
}

void TEllipsisButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);

    QStyleOptionToolButton option;
    option.initFrom(this);
    option.features = QStyleOptionToolButton::None;
    option.subControls = QStyle::SC_ToolButton;
    if (isDown())
        option.state |= QStyle::State_Sunken;
    else if (!flat_ || (option.state & QStyle::State_MouseOver))
        option.state |= QStyle::State_Raised;
    if (flat_)
        option.state |= QStyle::State_AutoRaise;
    if (option.state & (QStyle::State_Sunken | QStyle::State_Raised))
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);

    // Three 2x2 dots, 4 pixels apart, centred; same place and colour in every
    // state, so a disabled button is told by its edit, not by faded dots.
    const QColor dotColor = palette().color(QPalette::Active, QPalette::ButtonText);
    const int cx = width() / 2;
    const int cy = height() / 2;
    for (int k = -1; k <= 1; ++k)
        painter.fillRect(QRect(QPoint(cx - 1 + 4 * k, cy - 1), QPoint(cx + 4 * k, cy)), dotColor);
}

// ---------------------------------------------------------------------------

TCustomEllipsisEdit::TCustomEllipsisEdit(QWidget* parent) : QLineEdit(parent), button_(new TEllipsisButton(this))
{
    resize(150, 20);
    button_->setCursor(Qt::ArrowCursor);
    connect(button_, &QAbstractButton::clicked, this, [this] { DoEllipsisClick(); });
    SetEditRect();
}

TCustomEllipsisEdit::~TCustomEllipsisEdit() = default;

QString TCustomEllipsisEdit::EllipsisHint() const
{
    return button_->toolTip();
}

void TCustomEllipsisEdit::setEllipsisHint(const QString& hint)
{
    button_->setToolTip(hint);
}

QRect TCustomEllipsisEdit::EditRect() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    return contents.marginsRemoved(textMargins());
}

void TCustomEllipsisEdit::SetEditRect()
{
    const int buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) + 1;
    button_->setGeometry(width() - buttonWidth, 0, buttonWidth, height());

    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int textEnd = width() - buttonWidth - kTextGap; // first pixel the text must not reach
    const int rightMargin = std::max(0, contents.right() + 1 - textEnd);
    const QMargins margins(0, 0, rightMargin, 0);
    if (textMargins() != margins)
        setTextMargins(margins);
}

void TCustomEllipsisEdit::DoEllipsisClick()
{
    if (OnEllipsisClick)
        OnEllipsisClick(this);
}

void TCustomEllipsisEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    SetEditRect();
}

void TCustomEllipsisEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        button_->setEnabled(isEnabled());
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        SetEditRect();
}

void TCustomEllipsisEdit::focusInEvent(QFocusEvent* event)
{
    const bool hadSelection = hasSelectedText();
    QLineEdit::focusInEvent(event);
    // A click places the caret; any other arrival selects all when asked to.
    const bool clicked = event->reason() == Qt::MouseFocusReason
                         || (QApplication::mouseButtons() & Qt::LeftButton);
    if (autoSelect_ && !clicked)
        selectAll();
    else if (!autoSelect_ && !hadSelection && hasSelectedText())
        deselect();
}

// ---------------------------------------------------------------------------

TEllipsisEdit::TEllipsisEdit(QWidget* parent) : TCustomEllipsisEdit(parent)
{
}
