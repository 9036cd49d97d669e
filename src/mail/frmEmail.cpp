#include "frmEmail.h"

#include "Controls.h"
#include "Desktop.h"
#include "Guard.h"
#include "frmMain.h"
#include "frmOpzioni.h"

#include <QHBoxLayout>
#include <algorithm>
#include <cstdint>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QVBoxLayout>

namespace {
Q_LOGGING_CATEGORY(lcMailDialog, "corvina.mail", QtWarningMsg)
} // namespace

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

    NMSMTP1 = new TNMSMTP(this);
    NMSMTP1->setObjectName(QStringLiteral("NMSMTP1"));
    NMSMTP1->Port = 25;
    NMSMTP1->ReportLevel = 0;
    NMSMTP1->TimeOut = 0;
    NMSMTP1->EncodeType = uuMime;
    NMSMTP1->ClearParams = false;
    NMSMTP1->SubType = mtPlain;
    NMSMTP1->Charset = "us-ascii";
    NMSMTP1->OnPacketSent = [this](QObject* Sender) { RunGuarded(Sender, [&] { NMSMTP1PacketSent(Sender); }); };
    IMailView& view = *this;
    session_ = std::make_unique<TMailSession>(*NMSMTP1, view);

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

    gate_ = new TBusyGate(this);
    gate_->Add(BitBtn1);
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

void TfrmEmail::ShowInMode(const QString& mode)
{
    ProgUsato->setText(mode);
    show();
    raise();
    activateWindow();
}

void TfrmEmail::BitBtn1Click(QObject*)
{
    const QString mode = ProgUsato->text();
    if (mode == QLatin1String("Corvina")) {
        if (auto hold = TNetworkBusy::TryHold("Send"))
            session_->Send();
    }
    else if (mode == QLatin1String("Predefinito"))
        HandOff();
}

void TfrmEmail::BitBtn2Click(QObject*)
{
    Edit1->clear();
    EditOggetto->clear();
    SetGauge(ProgressBar1, 0, 0);
    session_->ClearStop();
}

void TfrmEmail::BitBtn3Click(QObject*) { session_->Stop(); }

void TfrmEmail::NMSMTP1PacketSent(QObject*)
{
    // The body's own size and position: a body beyond 2 GB (a large
    // attachment) is shown in KB, as the bar counts in int.
    TMailBodyStream& body = NMSMTP1->BodyStream();
    int64_t size = body.GetSize();
    int64_t sent = body.GetPosition();
    if (size > INT32_MAX) {
        size /= 1024;
        sent /= 1024;
    }
    SetGauge(ProgressBar1, static_cast<int>(size), static_cast<int>(std::min(sent, size)));
}

void TfrmEmail::HandOff()
{
    std::vector<std::string> addresses;
    for (int i = 0, n = EntryCount(); i < n; ++i)
        if (EntryTicked(i))
            addresses.push_back(EntryText(i));
    OpenLinkOrTell(BuildMailtoLink(addresses, Subject(), MessageText()), this, "Send Email ERROR", lcMailDialog());
}

TMailSettings TfrmEmail::Settings()
{
    TMailSettings s;
    s.Server = fromQt(frmOpzioni->EditServer->text());
    s.UserID = fromQt(frmOpzioni->EditNome->text());
    s.FromAddress = fromQt(frmOpzioni->EditIndirizzo->text());
    s.FromName = fromQt(frmOpzioni->EditMittente->text());
    s.HideRecipients = frmOpzioni->CheckBoxNascondi->isChecked();
    return s;
}

std::string TfrmEmail::Subject() { return fromQt(EditOggetto->text()); }
std::string TfrmEmail::MessageText() { return fromQt(Edit1->toPlainText()); }
int TfrmEmail::EntryCount() { return frmMain->CheckListBoxRisultati->Items->Count(); }
bool TfrmEmail::EntryTicked(int index) { return frmMain->CheckListBoxRisultati->Items->Checked(index); }
std::string TfrmEmail::EntryText(int index) { return frmMain->CheckListBoxRisultati->Items->Text(index); }

void TfrmEmail::ShowMessage(const std::string& text, const std::string& caption) { MessageBox(text, caption, TMsgButtons::OK, this); }

void TfrmEmail::SetRunning(bool running) { gate_->SetEnabled(BitBtn1, !running); }
