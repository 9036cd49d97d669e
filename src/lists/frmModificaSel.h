// The modify dialog: edits the text of the current Results entry.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <string>

class TfrmModificaSel : public QDialog {
    Q_OBJECT
public:
    explicit TfrmModificaSel(QWidget* parent = nullptr);
    ~TfrmModificaSel() override;

    QLabel* Label1;        // "Selected item"
    QLineEdit* Edit1;
    QPushButton* BitBtn1;  // "&OK", default button
    QPushButton* BitBtn2;  // "&Cancel", Esc
    // The bytes of the entry copied into Edit1: OK on an unedited text
    // writes them back unchanged, whatever their encoding.
    std::string OriginalText;

    void BitBtn1Click(QObject* Sender = nullptr);
    void BitBtn2Click(QObject* Sender = nullptr);

protected:
    void reject() override;
};

extern TfrmModificaSel* frmModificaSel;
