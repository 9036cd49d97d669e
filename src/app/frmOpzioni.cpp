#include "frmOpzioni.h"

#include "Guard.h"
#include "SysUtils.h"
#include "UserDat.h"
#include "frmMain.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TfrmOpzioni* frmOpzioni = nullptr;

namespace {

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, QLabel* label)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    label->setBuddy(e);
    e->setAccessibleName(label->text().remove(QLatin1Char('&')));
    e->setValidator(new TSingleLineValidator(e));
    return e;
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QCheckBox* tickBox(QWidget* parent, const char* name, const QString& text, bool ticked)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    c->setChecked(ticked);
    return c;
}

} // namespace

TfrmOpzioni::TfrmOpzioni(QWidget* parent) : QDialog(parent)
{
    frmOpzioni = this;
    setObjectName(QStringLiteral("frmOpzioni"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(false);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    // "Saving".
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* saving = new QVBoxLayout(TabSheet1);
    RadioGroup1 = new TRadioGroup(QStringLiteral("Saving Format"),
                                  {QStringLiteral("Columned"), QStringLiteral("On Row with Separator")}, TabSheet1);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->SetItemIndex(1);
    saving->addWidget(RadioGroup1);
    LabelSeparatore = label(TabSheet1, "LabelSeparatore", QStringLiteral("Separator"));
    EditSeparatore = edit(TabSheet1, "EditSeparatore", QStringLiteral(";"), LabelSeparatore);
    EditSeparatore->setMaximumWidth(80);
    saving->addWidget(LabelSeparatore);
    saving->addWidget(EditSeparatore);
    saving->addStretch(1);
    PageControl1->addTab(TabSheet1, QStringLiteral("Saving"));

    // "E-mail".
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    auto* mail = new QVBoxLayout(TabSheet2);
    GroupBox1 = new QGroupBox(QStringLiteral("Outgoing E-mail"), TabSheet2);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* fields = new QVBoxLayout(GroupBox1);
    LabelServer = label(GroupBox1, "LabelServer", QStringLiteral("Outgoing E-mail Server"));
    EditServer = edit(GroupBox1, "EditServer", {}, LabelServer);
    LabelNome = label(GroupBox1, "LabelNome", QStringLiteral("User ID"));
    EditNome = edit(GroupBox1, "EditNome", {}, LabelNome);
    LabelIndirizzo = label(GroupBox1, "LabelIndirizzo", QStringLiteral("Email Address"));
    EditIndirizzo = edit(GroupBox1, "EditIndirizzo", {}, LabelIndirizzo);
    LabelMittente = label(GroupBox1, "LabelMittente", QStringLiteral("Sender Name"));
    EditMittente = edit(GroupBox1, "EditMittente", {}, LabelMittente);
    for (auto [l, e] : {std::pair{LabelServer, EditServer}, std::pair{LabelNome, EditNome},
                        std::pair{LabelIndirizzo, EditIndirizzo}, std::pair{LabelMittente, EditMittente}}) {
        // A value and its line end must fit the settings file's lines.
        e->setMaxLength(kUserDatValueMax);
        fields->addWidget(l);
        fields->addWidget(e);
    }
    mail->addWidget(GroupBox1);
    CheckBoxNascondi = tickBox(TabSheet2, "CheckBoxNascondi", QStringLiteral("Hide recipients addresses"), true);
    mail->addWidget(CheckBoxNascondi);
    mail->addStretch(1);
    PageControl1->addTab(TabSheet2, QStringLiteral("E-mail"));

    // "Search".
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    auto* search = new QVBoxLayout(TabSheet3);
    RadioGroup2 = new TRadioGroup(QStringLiteral("Search Options"),
                                  {QStringLiteral("Automatic Search (search for pages and emails)"),
                                   QStringLiteral("Search All pages"), QStringLiteral("Search for max 15 pages each time")},
                                  TabSheet3);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->SetItemIndex(2);
    search->addWidget(RadioGroup2);
    CheckBoxTestoSemplice = tickBox(TabSheet3, "CheckBoxTestoSemplice",
                                    QStringLiteral("Search only in plain text files (*.html, *.txt)"), false);
    CheckBoxDisconnRic = tickBox(TabSheet3, "CheckBoxDisconnRic", QStringLiteral("Disconnect on search end"), false);
    search->addWidget(CheckBoxTestoSemplice);
    search->addWidget(CheckBoxDisconnRic);
    auto* numbers = new QFormLayout;
    LabelNumMax = label(TabSheet3, "LabelNumMax", QStringLiteral("Max Pages to Search"));
    EditNumMax = edit(TabSheet3, "EditNumMax", QStringLiteral("50"), LabelNumMax);
    LabelTimeOut = label(TabSheet3, "LabelTimeOut", QStringLiteral("Search TimeOut (msec.)"));
    EditTimeOut = edit(TabSheet3, "EditTimeOut", QStringLiteral("10000"), LabelTimeOut);
    LabelDominio = label(TabSheet3, "LabelDominio", QStringLiteral("Search only on this domain"));
    EditDominio = edit(TabSheet3, "EditDominio", {}, LabelDominio);
    LabelDominioEsempio = label(TabSheet3, "LabelDominioEsempio", QStringLiteral("(ex   .com )"));
    auto* domain = new QHBoxLayout;
    domain->addWidget(EditDominio);
    domain->addWidget(LabelDominioEsempio);
    numbers->addRow(LabelNumMax, EditNumMax);
    numbers->addRow(LabelTimeOut, EditTimeOut);
    numbers->addRow(LabelDominio, domain);
    search->addLayout(numbers);
    search->addStretch(1);
    PageControl1->addTab(TabSheet3, QStringLiteral("Search"));
    PageControl1->setCurrentWidget(TabSheet3);

    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/selectall.png")), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    ConnectHandler(BitBtn1, &QPushButton::clicked, this, &TfrmOpzioni::BitBtn1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(440, 360)));

    RunGuarded(this, [this] { FormCreate(this); });
}

TfrmOpzioni::~TfrmOpzioni()
{
    if (frmOpzioni == this)
        frmOpzioni = nullptr;
}

std::string TfrmOpzioni::ProgramDir() const
{
    return frmMain ? frmMain->ProgramDir : std::string();
}

void TfrmOpzioni::FormCreate(QObject*)
{
    TUserDatValues values;
    if (!LoadUserDat(ProgramDir(), values))
        return;
    EditServer->setText(toQt(values[0]));
    EditNome->setText(toQt(values[1]));
    EditIndirizzo->setText(toQt(values[2]));
    EditMittente->setText(toQt(values[3]));
}

void TfrmOpzioni::BitBtn1Click(QObject*)
{
    const TUserDatValues values{fromQt(EditServer->text()), fromQt(EditNome->text()), fromQt(EditIndirizzo->text()),
                                fromQt(EditMittente->text())};
    if (SaveUserDat(ProgramDir(), values)) {
        // A time-out that is not a whole number raises here, after the file
        // was written: the dialog then stays open and the time-out unchanged.
        const std::string timeOut = fromQt(EditTimeOut->text());
        if (!timeOut.empty() && frmMain)
            frmMain->NMHTTP->TimeOut = StrToInt(timeOut);
    }
    hide();
}
