// The about box with its moving banner and two links.
#pragma once

#include "Controls.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <string>

// The maker's addresses and the banner's two lines.
extern const std::string kMakerEmail;
extern const std::string kMakerHomePage;
extern const std::string kBannerCreditLine;
extern const std::string kBannerEmailLine;
// The greeting that the mail link puts in the message body.
extern const std::string kMakerGreeting;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    ~TfrmAbout() override;

    QLabel* titolo;
    QLabel* Label1;
    QLineEdit* anim;      // the banner
    QFrame* Edit1;        // covers the banner's starting place
    QPushButton* Label2;  // "Corvina on the Web...", drawn as a link
    QPushButton* OKButton;
    QTimer* Timer1;

    // Chooses the banner's line: odd shows the e-mail line next.
    int Counter = 1;

    void FormShow(QObject* Sender = nullptr);
    void OKButtonClick(QObject* Sender = nullptr);
    void Timer1Timer(QObject* Sender = nullptr);
    void animClick(QObject* Sender = nullptr);
    void Label2Click(QObject* Sender = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TfrmAbout* frmAbout;
