#pragma once
// The information dialog: an image's header figures, geometry, completeness,
// unreadable sectors, data hashes and dat match, as label / value lines
// whose values can be selected and copied.
#include <QDialog>

#include "library/imagereport.h"

class MessageCatalogue;
class QFormLayout;

class TInfo_Form : public QDialog {
    Q_OBJECT
public:
    TInfo_Form(const MessageCatalogue& messages, const QString& caption, const ReportLines& lines,
               QWidget* parent = nullptr);

    // The shown value of the line labelled label; empty when there is none.
    QString Value(const QString& label) const;

private:
    QFormLayout* Lines = nullptr;
};
