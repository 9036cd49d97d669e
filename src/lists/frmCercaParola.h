// The word-search dialog: ticks the entries of either list that contain a
// word.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TfrmCercaParola : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCercaParola(QWidget* parent = nullptr);
    ~TfrmCercaParola() override;

    QLabel* Label1;             // "Word to search for"
    QLineEdit* EditParola;
    QCheckBox* CheckBoxSiti;
    QCheckBox* CheckBoxRisultati;
    QPushButton* BitBtn1;       // "&Search", default button
    QPushButton* BitBtn2;       // "&Cancel"
    QLabel* Label2;             // "Founded words: "
    QLabel* LabelTrovati;       // entries ticked by the last search

    void FormShow(QObject* Sender = nullptr);
    void BitBtn1Click(QObject* Sender = nullptr);
    void BitBtn2Click(QObject* Sender = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

extern TfrmCercaParola* frmCercaParola;
