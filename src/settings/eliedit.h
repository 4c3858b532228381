#pragma once
// A one-line text field with a small three-dot button inside its right edge.
// A click on the button raises OnEllipsisClick, with which the owner opens a
// chooser. Typed text never runs under the button: the text area ends 4
// pixels left of it.
#include <functional>

#include <QAbstractButton>
#include <QLineEdit>
#include <QRect>

class TCustomEllipsisEdit;

class TEllipsisButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TEllipsisButton(QWidget* parent = nullptr);

    // Flat: no face until hovered or pressed (what styled platforms show).
    bool Flat() const { return flat_; }
    void setFlat(bool flat);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool flat_ = true;
};

class TCustomEllipsisEdit : public QLineEdit {
    Q_OBJECT
public:
    using EllipsisEvent = std::function<void(TCustomEllipsisEdit* sender)>;

    explicit TCustomEllipsisEdit(QWidget* parent = nullptr);
    ~TCustomEllipsisEdit() override;

    // Raised by a click on the button; may be empty.
    EllipsisEvent OnEllipsisClick;

    // The button's tooltip; the edit's own tooltip is separate.
    QString EllipsisHint() const;
    void setEllipsisHint(const QString& hint);

    // Select all text when the focus arrives other than by a mouse click.
    bool AutoSelect() const { return autoSelect_; }
    void setAutoSelect(bool on) { autoSelect_ = on; }

    TEllipsisButton* Button() const { return button_; }

    // The area the text is laid out and clipped to, in widget coordinates.
    QRect EditRect() const;

    // Places the button at the right edge over the full height and narrows
    // the text area to end 4 pixels left of it.
    void SetEditRect();

    // Raises OnEllipsisClick when it is set.
    void DoEllipsisClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    TEllipsisButton* button_;
    bool autoSelect_ = true;
};

class TEllipsisEdit : public TCustomEllipsisEdit {
    Q_OBJECT
public:
    explicit TEllipsisEdit(QWidget* parent = nullptr);
};
