// The send-mail dialog: one message to the ticked Results addresses.
#pragma once

#include "MailSession.h"
#include "Nmsmtp.h"

#include "Busy.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

class TfrmEmail : public QDialog, private IMailView {
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
    TNMSMTP* NMSMTP1;            // the dialog's SMTP client

    void FormCreate(QObject* Sender = nullptr);
    void BitBtn1Click(QObject* Sender = nullptr);
    void BitBtn2Click(QObject* Sender = nullptr);
    void BitBtn3Click(QObject* Sender = nullptr);
    void NMSMTP1PacketSent(QObject* Sender = nullptr);

    // Sets the mode caption and shows the dialog without blocking.
    void ShowInMode(const QString& mode);
    TMailSession& Session() { return *session_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<TMailSession> session_;
    // Send is disabled while the main window's network work runs.
    TBusyGate* gate_;

    // IMailView: the Options dialog's mail settings, this dialog's texts and
    // the main window's Results list.
    TMailSettings Settings() override;
    std::string Subject() override;
    std::string MessageText() override;
    int EntryCount() override;
    bool EntryTicked(int index) override;
    std::string EntryText(int index) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void SetRunning(bool running) override;
    // The mailto: link of the default-program mode.
    void HandOff();
};

extern TfrmEmail* frmEmail;
