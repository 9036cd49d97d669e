#include "frmEmail.h"

#include "Controls.h"
#include "Guard.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

TfrmEmail* frmEmail = nullptr;

TfrmEmail::TfrmEmail(QWidget* parent) : QDialog(parent)
{
    frmEmail = this;
    setObjectName(QStringLiteral("frmEmail"));
    setWindowTitle(QStringLiteral("Send Email"));
    setModal(false);

    Label1 = new QLabel(QStringLiteral("Subject"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditOggetto = new QLineEdit(this);
    EditOggetto->setValidator(new TSingleLineValidator(EditOggetto));
    EditOggetto->setObjectName(QStringLiteral("EditOggetto"));
    EditOggetto->setAccessibleName(QStringLiteral("Subject"));
    Label1->setBuddy(EditOggetto);
    Label2 = new QLabel(QStringLiteral("Message Text"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QPlainTextEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("Message Text"));
    Edit1->setTabChangesFocus(true);
    Edit1->setMinimumHeight(160);
    Label2->setBuddy(Edit1);
    Label3 = new QLabel(QStringLiteral("Sending progression"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setAccessibleName(QStringLiteral("Sending progression"));
    Label3->setBuddy(ProgressBar1);

    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/mail.png")), QStringLiteral("&Send !"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    BitBtn2 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/erase.png")), QStringLiteral("&Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    BitBtn3 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/stop.png")), QStringLiteral("Stop"), this);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setAutoDefault(false);
    BitBtn3->setToolTip(QStringLiteral("Ferma l'invio delle Email"));
    BitBtn3->setAccessibleDescription(QStringLiteral("Ferma l'invio delle Email"));

    ProgUsato = new QLabel(QStringLiteral("ProgUsato"), this);
    ProgUsato->setObjectName(QStringLiteral("ProgUsato"));
    ProgUsato->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(EditOggetto);
    layout->addWidget(Label2);
    layout->addWidget(Edit1, 1);
    layout->addWidget(Label3);
    layout->addWidget(ProgressBar1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(420, 360)));

    ConnectHandler(BitBtn1, &QPushButton::clicked, this, &TfrmEmail::BitBtn1Click);
    ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TfrmEmail::BitBtn2Click);
    ConnectHandler(BitBtn3, &QPushButton::clicked, this, &TfrmEmail::BitBtn3Click);

    RunGuarded(this, [this] { FormCreate(this); });
}

TfrmEmail::~TfrmEmail()
{
    if (frmEmail == this)
        frmEmail = nullptr;
}

void TfrmEmail::keyPressEvent(QKeyEvent* event)
{
    // Esc presses Cancel, which resets the dialog but closes nothing; only
    // the title bar closes (hides) it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        BitBtn2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmEmail::FormCreate(QObject*)
{
    Edit1->clear();
}

// The send run, the reset and the stop request are not built yet.
void TfrmEmail::BitBtn1Click(QObject*) {}
void TfrmEmail::BitBtn2Click(QObject*) {}
void TfrmEmail::BitBtn3Click(QObject*) {}
void TfrmEmail::NMSMTP1PacketSent(QObject*) {}
