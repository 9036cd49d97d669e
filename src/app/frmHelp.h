// The help page in a viewer of the program's own, for a desktop with no web
// browser to show it. Modeless, like the other dialogs.
#pragma once

#include <QDialog>

class QPushButton;
class QTextBrowser;

class TfrmHelp : public QDialog {
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget* parent = nullptr);

    // Shows the page file (an HTML file on disk); false when it cannot be
    // read, and the viewer is left as it was.
    bool Load(const QString& file);

    QTextBrowser* TextBrowser1;
    QPushButton* cmdChiudi;
};
