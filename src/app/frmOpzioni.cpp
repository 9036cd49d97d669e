#include "frmOpzioni.h"

#include "Desktop.h"
#include "Engines.h"
#include "Guard.h"
#include "SysUtils.h"
#include "UserDat.h"
#include "frmMain.h"

#include <cstdint>

#include <QFileInfo>
#include <QFormLayout>
#include <QLoggingCategory>
#include <QSettings>
#include <QHBoxLayout>
#include <QVBoxLayout>

TfrmOpzioni* frmOpzioni = nullptr;

const std::string kTimeOutRefused =
    "Search TimeOut must be a whole number of milliseconds from 0 (no time-out) to 2147483647.";
const std::string kPageWaitRefused =
    "Longest wait for one page must be a whole number of seconds from 0 (no limit) to 2147483.";

bool ParsePageWaitText(const std::string& text, int32_t& ms)
{
    int32_t seconds = 0;
    if (!ParseTimeOutText(text, seconds) || seconds > INT32_MAX / 1000)
        return false;
    ms = seconds * 1000;
    return true;
}

namespace {

Q_LOGGING_CATEGORY(lcOptions, "corvina.app", QtWarningMsg)

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
    CheckBoxTuttiIndirizzi = tickBox(TabSheet3, "CheckBoxTuttiIndirizzi",
                                     QStringLiteral("Keep every address found, also under unknown domains"), false);
    search->addWidget(CheckBoxTuttiIndirizzi);
    auto* numbers = new QFormLayout;
    LabelNumMax = label(TabSheet3, "LabelNumMax", QStringLiteral("Max Pages to Search"));
    EditNumMax = edit(TabSheet3, "EditNumMax", QStringLiteral("50"), LabelNumMax);
    LabelTimeOut = label(TabSheet3, "LabelTimeOut", QStringLiteral("Search TimeOut (msec.)"));
    EditTimeOut = edit(TabSheet3, "EditTimeOut", QStringLiteral("10000"), LabelTimeOut);
    LabelAttesaPagina = label(TabSheet3, "LabelAttesaPagina", QStringLiteral("Longest wait for one page"));
    EditAttesaPagina = edit(TabSheet3, "EditAttesaPagina", QStringLiteral("60"), LabelAttesaPagina);
    EditAttesaPagina->setToolTip(QStringLiteral("Seconds, redirects included; 0 = no limit"));
    LabelPausa = label(TabSheet3, "LabelPausa", QStringLiteral("Delay between requests to one host (s)"));
    EditPausa = edit(TabSheet3, "EditPausa", QStringLiteral("1"), LabelPausa);
    LabelSitiInsieme = label(TabSheet3, "LabelSitiInsieme", QStringLiteral("Sites at once"));
    SpinSitiInsieme = new QSpinBox(TabSheet3);
    SpinSitiInsieme->setObjectName(QStringLiteral("SpinSitiInsieme"));
    SpinSitiInsieme->setRange(1, 32);
    SpinSitiInsieme->setValue(8);
    SpinSitiInsieme->setAccessibleName(LabelSitiInsieme->text());
    LabelSitiInsieme->setBuddy(SpinSitiInsieme);
    LabelDominio = label(TabSheet3, "LabelDominio", QStringLiteral("Search only on this domain"));
    EditDominio = edit(TabSheet3, "EditDominio", {}, LabelDominio);
    LabelDominioEsempio = label(TabSheet3, "LabelDominioEsempio", QStringLiteral("(ex   .com )"));
    auto* domain = new QHBoxLayout;
    domain->addWidget(EditDominio);
    domain->addWidget(LabelDominioEsempio);
    numbers->addRow(LabelNumMax, EditNumMax);
    numbers->addRow(LabelTimeOut, EditTimeOut);
    numbers->addRow(LabelAttesaPagina, EditAttesaPagina);
    numbers->addRow(LabelPausa, EditPausa);
    numbers->addRow(LabelSitiInsieme, SpinSitiInsieme);
    numbers->addRow(LabelDominio, domain);
    search->addLayout(numbers);
    search->addStretch(1);
    PageControl1->addTab(TabSheet3, QStringLiteral("Search"));
    PageControl1->setCurrentWidget(TabSheet3);

    // "Engines": what the engines that are not plain web pages need.
    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    auto* engines = new QFormLayout(TabSheet4);
    LabelSearxng = label(TabSheet4, "LabelSearxng", QStringLiteral("SearXNG address"));
    EditSearxng = edit(TabSheet4, "EditSearxng", toQt(kSearxngDefaultAddress), LabelSearxng);
    LabelMojeekKey = label(TabSheet4, "LabelMojeekKey", QStringLiteral("Mojeek API key"));
    EditMojeekKey = edit(TabSheet4, "EditMojeekKey", {}, LabelMojeekKey);
    EditMojeekKey->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    engines->addRow(LabelSearxng, EditSearxng);
    engines->addRow(LabelMojeekKey, EditMojeekKey);
    PageControl1->addTab(TabSheet4, QStringLiteral("Engines"));

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

    // Tab goes from the page tabs through the shown page's fields, top to
    // bottom, to OK and round again.
    QList<QWidget*> order{PageControl1};
    for (int i = 0; i < RadioGroup1->Count(); ++i)
        order << RadioGroup1->Item(i);
    order << EditSeparatore << EditServer << EditNome << EditIndirizzo << EditMittente << CheckBoxNascondi;
    for (int i = 0; i < RadioGroup2->Count(); ++i)
        order << RadioGroup2->Item(i);
    order << CheckBoxTestoSemplice << CheckBoxDisconnRic << CheckBoxTuttiIndirizzi << EditNumMax << EditTimeOut
          << EditAttesaPagina << EditPausa << SpinSitiInsieme << EditDominio << EditSearxng << EditMojeekKey << BitBtn1;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

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

std::string SettingsFilePath()
{
    const std::string userDat = UserDatConfigPath();
    return userDat.substr(0, userDat.rfind('/') + 1) + "corvina.conf";
}

void TfrmOpzioni::FormCreate(QObject*)
{
    // The mail fields first and on their own: nothing in the other settings
    // may keep them from loading, or the next OK would save them empty.
    TUserDatValues values;
    if (LoadUserDat(ProgramDir(), values)) {
        loaded_ = values;
        EditServer->setText(toQt(values[0]));
        EditNome->setText(toQt(values[1]));
        EditIndirizzo->setText(toQt(values[2]));
        EditMittente->setText(toQt(values[3]));
    }
    try {
        loadSettings();
    } catch (const std::exception& e) {
        qCWarning(lcOptions, "settings file %s: %s", qPrintable(FileNameToQt(SettingsFilePath())), e.what());
    }
}

void TfrmOpzioni::loadSettings()
{
    const QSettings file(FileNameToQt(SettingsFilePath()), QSettings::IniFormat);
    const auto index = [&file](const char* key, TRadioGroup* group) {
        bool ok = false;
        const int i = file.value(QLatin1String(key)).toInt(&ok);
        if (ok && i >= 0 && i < group->Count())
            group->SetItemIndex(i);
    };
    const auto tick = [&file](const char* key, QCheckBox* box) {
        const QVariant v = file.value(QLatin1String(key));
        if (v.isValid())
            box->setChecked(v.toBool());
    };
    const auto text = [&file](const char* key, QLineEdit* edit) {
        const QVariant v = file.value(QLatin1String(key));
        if (v.isValid())
            edit->setText(v.toString());
    };
    index("Saving/Format", RadioGroup1);
    text("Saving/Separator", EditSeparatore);
    index("Search/Mode", RadioGroup2);
    tick("Search/PlainTextOnly", CheckBoxTestoSemplice);
    tick("Search/DisconnectOnEnd", CheckBoxDisconnRic);
    tick("Search/KeepAllAddresses", CheckBoxTuttiIndirizzi);
    text("Search/MaxPages", EditNumMax);
    text("Search/Delay", EditPausa);
    if (const QVariant n = file.value(QStringLiteral("Search/SitesAtOnce")); n.isValid())
        SpinSitiInsieme->setValue(n.toInt()); // clamped to 1..32
    text("Search/Domain", EditDominio);
    // A saved time-out that is not valid (edited by hand) gives the default.
    int32_t ms = 0;
    const QVariant timeOut = file.value(QStringLiteral("Search/TimeOut"));
    if (timeOut.isValid()) {
        if (ParseTimeOutText(fromQt(timeOut.toString()), ms))
            EditTimeOut->setText(timeOut.toString());
        else
            qCWarning(lcOptions, "settings file: time-out \"%s\" is not valid; the default is used",
                      qPrintable(timeOut.toString()));
    }
    const QVariant pageWait = file.value(QStringLiteral("Search/PageDeadline"));
    if (pageWait.isValid()) {
        if (ParsePageWaitText(fromQt(pageWait.toString()), ms))
            EditAttesaPagina->setText(pageWait.toString());
        else
            qCWarning(lcOptions, "settings file: longest wait for one page \"%s\" is not valid; the default is used",
                      qPrintable(pageWait.toString()));
    }
    text("Engines/SearxngAddress", EditSearxng);
    text("Engines/MojeekKey", EditMojeekKey);
    // The HTTP client follows the limits shown, as after an OK.
    if (frmMain && ParseTimeOutText(fromQt(EditTimeOut->text()), ms))
        frmMain->NMHTTP->TimeOut = ms;
    if (frmMain && ParsePageWaitText(fromQt(EditAttesaPagina->text()), ms))
        frmMain->NMHTTP->PageDeadline = ms;
}

void TfrmOpzioni::saveSettings()
{
    const QString path = FileNameToQt(SettingsFilePath());
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("Saving/Format"), RadioGroup1->ItemIndex());
    file.setValue(QStringLiteral("Saving/Separator"), EditSeparatore->text());
    file.setValue(QStringLiteral("Search/Mode"), RadioGroup2->ItemIndex());
    file.setValue(QStringLiteral("Search/PlainTextOnly"), CheckBoxTestoSemplice->isChecked());
    file.setValue(QStringLiteral("Search/DisconnectOnEnd"), CheckBoxDisconnRic->isChecked());
    file.setValue(QStringLiteral("Search/KeepAllAddresses"), CheckBoxTuttiIndirizzi->isChecked());
    file.setValue(QStringLiteral("Search/MaxPages"), EditNumMax->text());
    file.setValue(QStringLiteral("Search/TimeOut"), EditTimeOut->text());
    file.setValue(QStringLiteral("Search/PageDeadline"), EditAttesaPagina->text());
    file.setValue(QStringLiteral("Search/Delay"), EditPausa->text());
    file.setValue(QStringLiteral("Search/SitesAtOnce"), SpinSitiInsieme->value());
    file.setValue(QStringLiteral("Search/Domain"), EditDominio->text());
    file.setValue(QStringLiteral("Engines/SearxngAddress"), EditSearxng->text());
    file.setValue(QStringLiteral("Engines/MojeekKey"), EditMojeekKey->text());
    file.sync();
}

void TfrmOpzioni::BitBtn1Click(QObject*)
{
    // A time-out that is not valid is refused before anything is written, so
    // a typo can never reach the files.
    const std::string timeOut = fromQt(EditTimeOut->text());
    int32_t ms = 0;
    if (!timeOut.empty() && !ParseTimeOutText(timeOut, ms)) {
        PageControl1->setCurrentWidget(TabSheet3);
        EditTimeOut->setFocus();
        EditTimeOut->selectAll();
        MessageBox(kTimeOutRefused, "ERROR", TMsgButtons::OK, this, TMsgIcon::Error);
        return;
    }
    const std::string pageWait = fromQt(EditAttesaPagina->text());
    int32_t pageMs = 0;
    if (!pageWait.empty() && !ParsePageWaitText(pageWait, pageMs)) {
        PageControl1->setCurrentWidget(TabSheet3);
        EditAttesaPagina->setFocus();
        EditAttesaPagina->selectAll();
        MessageBox(kPageWaitRefused, "ERROR", TMsgButtons::OK, this, TMsgIcon::Error);
        return;
    }
    saveSettings();
    const TUserDatValues values{fromQtKeeping(EditServer->text(), loaded_[0]),
                                fromQtKeeping(EditNome->text(), loaded_[1]),
                                fromQtKeeping(EditIndirizzo->text(), loaded_[2]),
                                fromQtKeeping(EditMittente->text(), loaded_[3])};
    if (SaveUserDat(values)) {
        loaded_ = values;
        if (!timeOut.empty() && frmMain)
            frmMain->NMHTTP->TimeOut = ms;
        if (!pageWait.empty() && frmMain)
            frmMain->NMHTTP->PageDeadline = pageMs;
    }
    hide();
}
