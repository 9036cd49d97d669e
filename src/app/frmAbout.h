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

// The banner's two lines (the maker's addresses are in CorvinaInfo.h).
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
    // The banner's state, kept by the timer whether or not the box is
    // visible; the banner itself is only moved and rewritten while the box
    // is shown (a hidden banner changing every 3 s would keep sending
    // accessibility events for the whole run).
    int BannerLeft = 224;
    std::string BannerText;

    void FormShow(QObject* Sender = nullptr);
    void OKButtonClick(QObject* Sender = nullptr);
    void Timer1Timer(QObject* Sender = nullptr);
    void animClick(QObject* Sender = nullptr);
    void Label2Click(QObject* Sender = nullptr);

protected:
    // Puts the banner where its state says, when the box is visible.
    void showBanner();
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TfrmAbout* frmAbout;
