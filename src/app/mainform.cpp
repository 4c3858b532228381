#include "app/mainform.h"

TMain_Form::TMain_Form(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tessarine"));
    resize(480, 320);
}
