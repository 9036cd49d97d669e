// Help > Show Log...: this run's failures with their times, as the program's
// logging categories reported them (skipped sites, failed result pages,
// refused recipients, errors that ended an action). Modeless, like the other
// dialogs; it follows new entries while it is open.
#pragma once

#include "RunLog.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TfrmLog : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLog(QWidget* parent = nullptr);

    // Shows every kept entry afresh.
    void Reload();
    // Adds one entry at the end.
    void Append(const TRunLog::Entry& entry);

    QPlainTextEdit* LogText;
    QPushButton* cmdChiudi;

private:
    bool empty_ = true;
};
