// The send-mail dialog: one message to the ticked Results addresses.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

class TfrmEmail : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEmail(QWidget* parent = nullptr);
    ~TfrmEmail() override;

    QLabel* Label1;              // "Subject"
    QLineEdit* EditOggetto;
    QLabel* Label2;              // "Message Text"
    QPlainTextEdit* Edit1;       // the message text, drawn tall
    QLabel* Label3;              // "Sending progression"
    QProgressBar* ProgressBar1;
    QPushButton* BitBtn1;        // "&Send !"
    QPushButton* BitBtn2;        // "&Cancel" (Esc)
    QPushButton* BitBtn3;        // "Stop"
    QLabel* ProgUsato;           // hidden: the mode, "Corvina" or "Predefinito"

    void FormCreate(QObject* Sender = nullptr);
    void BitBtn1Click(QObject* Sender = nullptr);
    void BitBtn2Click(QObject* Sender = nullptr);
    void BitBtn3Click(QObject* Sender = nullptr);
    void NMSMTP1PacketSent(QObject* Sender = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

extern TfrmEmail* frmEmail;
