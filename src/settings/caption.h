#pragma once
// Window captions as the window system shows them.
class QWidget;

// Shows window's empty caption as empty. Qt hands the window system the
// application's name for an empty title; this replaces it on the shown
// window. Call after the native window exists.
void KeepEmptyCaption(QWidget& window);
