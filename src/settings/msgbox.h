#pragma once
// Every message box of the program goes through one function with
// MessageBoxA-like style flags and results, so tests can answer them.
#include <functional>
#include <vector>

#include <QString>

#include "settings/boxflags.h"

class QWidget;


// owner: the window that shows the box (may be null); returns an mb::ID* value.
using MessageBoxFunc = std::function<int(QWidget* owner, const QString& text, const QString& caption, unsigned flags)>;

// The real boxes: QMessageBox owned by owner, application-modal, raised to the front.
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);
