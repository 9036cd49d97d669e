#include "frmMain.h"

#include "Guard.h"
#include "frmAbout.h"
#include "frmOpzioni.h"
#include "Engines.h"
#include "frmMainSessions.h"
#include "CorvinaInfo.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QHBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

TfrmMain* frmMain = nullptr;

namespace {

Q_LOGGING_CATEGORY(lcNetHook, "corvina.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "corvina.app", QtWarningMsg)

const QColor kWindowBlue(0, 51, 102);
const QColor kTopBand(121, 148, 174);
const QColor kMiddleBand(168, 188, 208);
const QColor kBottomBand(101, 132, 163);
const QColor kNavy(0, 0, 128);

void fill(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLabel* caption(const QString& text, QWidget* parent, bool bold, const char* name)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, kNavy);
    l->setPalette(pal);
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

QIcon picture(const char* name)
{
    return QIcon(QStringLiteral(":/corvina/pictures/%1.png").arg(QLatin1String(name)));
}

// A counter after its caption: named by the caption's words for assistive
// tools ("Founded: " gives "Founded"), which read the figure as its value.
QLabel* counter(QWidget* parent, const char* name, const QString& description, QLabel* captionLabel)
{
    auto* l = new TCounterLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setText(QStringLiteral("0"));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, kNavy);
    l->setPalette(pal);
    l->setAccessibleName(captionLabel->text().trimmed().remove(QRegularExpression(QStringLiteral(":$"))));
    l->setAccessibleDescription(description);
    l->setMinimumWidth(60);
    // A label, not a Tab stop: assistive tools read it with its caption (the
    // caption's buddy), and the mouse can still copy the figure.
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setFocusPolicy(Qt::NoFocus);
    captionLabel->setBuddy(l);
    return l;
}

// Enter from the main keys or the numeric keypad (which comes with the
// keypad modifier), without Shift, Ctrl, Alt or Meta.
bool isPlainEnter(const QKeyEvent* key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

QProgressBar* gauge(QWidget* parent, const char* name, const QString& accessibleName)
{
    auto* p = new QProgressBar(parent);
    p->setObjectName(QLatin1String(name));
    p->setRange(0, 100);
    p->setValue(0);
    p->setAccessibleName(accessibleName);
    return p;
}

} // namespace

std::string ProgramDirectoryOf(const std::string& programFile)
{
    const size_t slash = programFile.rfind('/');
    return slash == std::string::npos ? std::string() : programFile.substr(0, slash + 1);
}

TfrmMain::TfrmMain(const std::string& programFile)
    : SaveDialog(TFileDialogKind::Save, this), OpenDialog(TFileDialogKind::Open, this), programFile_(programFile)
{
    frmMain = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Corvina"));
    setWindowIcon(picture("corvina"));
    fill(this, kWindowBlue);

    // Owned by the window: port 0, time-out 10000 ms, 60 s for one page, report level 0, proxy
    // port 0, file modes off, "Default.htm" and "Head.txt".
    NMHTTP = new TNMHTTP(this);
    NMHTTP->setObjectName(QStringLiteral("NMHTTP"));
    NMHTTP->TimeOut = 10000;
    NMHTTP->PageDeadline = 60000; // "Longest wait for one page" (Options)
    UseHttpProxyFromEnvironment(*NMHTTP);
    // Every engine page, site page and robots.txt names the program.
    NMHTTP->HeaderInfo.LocalProgram = std::string(kUserAgent);

    SaveDialog.Filter = "Text File (*.txt)|*.txt|Windows Address Book File (*.csv)|*.csv";
    // Opening can also pick a list saved without an extension.
    OpenDialog.Filter = SaveDialog.Filter + "|All files (*)|*";

    buildBands();
    buildMenus();
    loadMainSettings();
    connectHandlers();

    Gate = new TBusyGate(this);
    for (QPushButton* b : {cmdCerca, cmdSucc, cmdTrovaEmail})
        Gate->Add(b);
    Gate->Add(ControllapresenzadiAggiornamenti1);

    // The last failure of the run stays in the status bar (hints of the
    // controls show over it while the pointer is on them).
    LabelUltimoErrore = new QLabel(statusBar());
    LabelUltimoErrore->setObjectName(QStringLiteral("LabelUltimoErrore"));
    LabelUltimoErrore->setAccessibleName(QStringLiteral("Last failure"));
    statusBar()->addWidget(LabelUltimoErrore, 1);
    // Failures may be logged on any thread; the window shows them on its own.
    TRunLog::SetListener([this](const TRunLog::Entry& e) {
        QMetaObject::invokeMethod(this, [this, e] { logEntry(e); }, Qt::QueuedConnection);
    });
    // Typing straight away types key words (not a new engine address).
    EditParolaChiave->setFocus(Qt::OtherFocusReason);

    // The size and place when restored from maximized: centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        resize(std::min(1000, avail.width()), std::min(680, avail.height()));
        move(avail.center() - rect().center());
    }

    RunGuarded(this, [this] { FormCreate(this); });
}

TfrmMain::~TfrmMain()
{
    saveEngine();
    SetEscapedErrorHandler({});
    TRunLog::SetListener(nullptr);
    if (frmMain == this)
        frmMain = nullptr;
}

QPushButton* TfrmMain::addButton(const char* name, const QString& text, const QString& hint, const char* pic,
                                 void (TfrmMain::*handler)(QObject*))
{
    auto* b = new QPushButton(picture(pic), text, PanelBottom);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setAccessibleDescription(hint);
    b->setCursor(Qt::PointingHandCursor);
    b->setAutoDefault(true); // Enter on a focused button presses that button
    b->setIconSize(QSize(24, 24));
    b->setMinimumHeight(34);
    ConnectHandler(b, &QPushButton::clicked, this, handler);
    return b;
}

void TfrmMain::buildBands()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(6, 6, 6, 6);
    Panel1 = new QFrame(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    outer->addWidget(Panel1);
    auto* bands = new QVBoxLayout(Panel1);
    bands->setContentsMargins(2, 2, 2, 2);
    bands->setSpacing(2);

    // Top band: engine selector and key words.
    PanelTop = new QFrame(Panel1);
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    fill(PanelTop, kTopBand);
    auto* top = new QGridLayout(PanelTop);
    top->setContentsMargins(12, 8, 12, 10);
    LabelMotore = caption(QStringLiteral("Search Engine"), PanelTop, true, "LabelMotore");
    EditMotore = new QComboBox(PanelTop);
    EditMotore->setObjectName(QStringLiteral("EditMotore"));
    EditMotore->setEditable(true);
    EditMotore->setInsertPolicy(QComboBox::NoInsert);
    EditMotore->addItem(toQt(kGoogleEntry));
    EditMotore->addItem(toQt(kAltaVistaEntry));
    EditMotore->addItem(toQt(kSearxngEntry));
    EditMotore->addItem(toQt(kMojeekEntry));
    EditMotore->setCurrentIndex(0);
    EditMotore->setAccessibleName(QStringLiteral("Search Engine"));
    LabelMotore->setBuddy(EditMotore);
    LabelParolaChiave = caption(QStringLiteral("Key Words"), PanelTop, true, "LabelParolaChiave");
    EditParolaChiave = new QComboBox(PanelTop);
    EditParolaChiave->setObjectName(QStringLiteral("EditParolaChiave"));
    EditParolaChiave->setEditable(true);
    EditParolaChiave->setInsertPolicy(QComboBox::NoInsert);
    EditParolaChiave->setAccessibleName(QStringLiteral("Key Words"));
    LabelParolaChiave->setBuddy(EditParolaChiave);
    for (QComboBox* box : {EditMotore, EditParolaChiave}) {
        // The text is what the user types: no inline completion from the
        // entries (it would turn "cat" into an earlier "category theory").
        box->setCompleter(nullptr);
        box->setValidator(new TSingleLineValidator(box));
        box->lineEdit()->setAccessibleName(box->accessibleName());
        box->lineEdit()->installEventFilter(this);
    }
    top->addWidget(LabelMotore, 0, 0);
    top->addWidget(LabelParolaChiave, 0, 1);
    top->addWidget(EditMotore, 1, 0);
    top->addWidget(EditParolaChiave, 1, 1);
    top->setColumnStretch(0, 2);
    top->setColumnStretch(1, 3);
    bands->addWidget(PanelTop);

    // Middle band: the two lists with their gauges and counters.
    PanelMiddle = new QFrame(Panel1);
    PanelMiddle->setObjectName(QStringLiteral("PanelMiddle"));
    fill(PanelMiddle, kMiddleBand);
    auto* middle = new QHBoxLayout(PanelMiddle);
    middle->setContentsMargins(12, 8, 12, 8);
    middle->setSpacing(16);

    auto column = [this, middle](QLabel*& title, const QString& titleText, const char* titleName,
                                 TCheckListBox*& list, const char* listName, QLabel*& gaugeLabel,
                                 const QString& gaugeText, const char* gaugeLabelName, QProgressBar*& bar,
                                 const char* barName) {
        auto* col = new QVBoxLayout;
        title = caption(titleText, PanelMiddle, true, titleName);
        title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        list = new TCheckListBox(PanelMiddle);
        list->setObjectName(QLatin1String(listName));
        list->setAccessibleName(titleText);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        title->setBuddy(list);
        gaugeLabel = caption(gaugeText, PanelMiddle, true, gaugeLabelName);
        bar = gauge(PanelMiddle, barName, gaugeText);
        gaugeLabel->setBuddy(bar);
        col->addWidget(title);
        col->addWidget(list, 1);
        auto* g = new QHBoxLayout;
        g->addWidget(gaugeLabel);
        g->addWidget(bar, 1);
        col->addLayout(g);
        middle->addLayout(col, 1);
        return col;
    };

    QVBoxLayout* left = column(LabelSitiTrovati, QStringLiteral("Founded Sites"), "LabelSitiTrovati",
                               CheckListBoxTrovati, "CheckListBoxTrovati", LabelScanning, QStringLiteral("Scanning"),
                               "LabelScanning", ProgressBar2, "ProgressBar2");
    LabelFounded1 = caption(QStringLiteral("Founded: "), PanelMiddle, false, "LabelFounded1");
    LabelTrovati = counter(PanelMiddle, "LabelTrovati", QStringLiteral("Founded Sites"), LabelFounded1);
    LabelTotalPages = caption(QStringLiteral("Total Pages: "), PanelMiddle, false, "LabelTotalPages");
    LabelTotPag = counter(PanelMiddle, "LabelTotPag", QStringLiteral("Total Pages"), LabelTotalPages);
    auto* leftCounts = new QHBoxLayout;
    leftCounts->addWidget(LabelFounded1);
    leftCounts->addWidget(LabelTrovati);
    leftCounts->addStretch(1);
    leftCounts->addWidget(LabelTotalPages);
    leftCounts->addWidget(LabelTotPag);
    left->addLayout(leftCounts);

    QVBoxLayout* right = column(LabelRisultati, QStringLiteral("Search Results"), "LabelRisultati",
                                CheckListBoxRisultati, "CheckListBoxRisultati", LabelSearchProgression,
                                QStringLiteral("Search Progression"), "LabelSearchProgression", ProgressBar1,
                                "ProgressBar1");
    LabelFounded2 = caption(QStringLiteral("Founded: "), PanelMiddle, false, "LabelFounded2");
    LabelEmailTrovate = counter(PanelMiddle, "LabelEmailTrovate", QStringLiteral("Founded e-mail addresses"),
                                LabelFounded2);
    LabelExaminedPages = caption(QStringLiteral("Examined Pages"), PanelMiddle, false, "LabelExaminedPages");
    LabelProgress = counter(PanelMiddle, "LabelProgress", QStringLiteral("Examined Pages"), LabelExaminedPages);
    auto* rightCounts = new QHBoxLayout;
    rightCounts->addWidget(LabelFounded2);
    rightCounts->addWidget(LabelEmailTrovate);
    rightCounts->addStretch(1);
    rightCounts->addWidget(LabelExaminedPages);
    rightCounts->addWidget(LabelProgress);
    right->addLayout(rightCounts);
    bands->addWidget(PanelMiddle, 1);

    // Bottom band: six buttons in two rows, the logo to their right.
    PanelBottom = new QFrame(Panel1);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    fill(PanelBottom, kBottomBand);
    auto* bottom = new QGridLayout(PanelBottom);
    bottom->setContentsMargins(12, 8, 12, 8);
    cmdCerca = addButton("cmdCerca", QStringLiteral("&Search !"), QStringLiteral("Search for sites containing key words"),
                         "search", &TfrmMain::cmdCercaClick);
    cmdSucc = addButton("cmdSucc", QStringLiteral("&Next..."), QStringLiteral("Search next pages"), "next",
                        &TfrmMain::cmdSuccClick);
    cmdNuovaRic = addButton("cmdNuovaRic", QStringLiteral("New Search"), QStringLiteral("New Search"), "new",
                            &TfrmMain::cmdNuovaRicClick);
    BitBtn1 = addButton("BitBtn1", QStringLiteral("Stop Search"), QStringLiteral("Stop searching pages"), "stop",
                        &TfrmMain::BitBtn1Click);
    cmdTrovaEmail = addButton("cmdTrovaEmail", QStringLiteral("Search &Email"),
                              QStringLiteral("Search for Email in Founded Sites"), "email",
                              &TfrmMain::cmdTrovaEmailClick);
    BitBtn2 = addButton("BitBtn2", QStringLiteral("Stop SearchEmail"), QStringLiteral("Stop searching Email"),
                        "stopemail", &TfrmMain::BitBtn2Click);
    cmdCerca->setDefault(true);
    // Every button is as wide as the widest caption any of them can carry,
    // so the band does not shift when Next offers "Resume..." or Search
    // Email offers "Resume Search".
    int width = 0;
    for (QPushButton* b : {cmdCerca, cmdSucc, cmdNuovaRic, BitBtn1, cmdTrovaEmail, BitBtn2})
        width = std::max(width, b->sizeHint().width());
    for (const char* caption : {"Resume...", "Resume Search"}) {
        const QString saved = cmdTrovaEmail->text();
        cmdTrovaEmail->setText(QString::fromLatin1(caption));
        width = std::max(width, cmdTrovaEmail->sizeHint().width());
        cmdTrovaEmail->setText(saved);
    }
    for (QPushButton* b : {cmdCerca, cmdSucc, cmdNuovaRic, BitBtn1, cmdTrovaEmail, BitBtn2})
        b->setMinimumWidth(width);
    bottom->addWidget(cmdCerca, 0, 0);
    bottom->addWidget(cmdSucc, 0, 1);
    bottom->addWidget(cmdNuovaRic, 0, 2);
    bottom->addWidget(BitBtn1, 1, 0);
    bottom->addWidget(cmdTrovaEmail, 1, 1);
    bottom->addWidget(BitBtn2, 1, 2);
    Image1 = new QLabel(PanelBottom);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/corvina/pictures/logo.png")));
    Image1->setFixedSize(338, 62);
    Image1->setAccessibleName(QStringLiteral("Corvina"));
    bottom->addWidget(Image1, 0, 3, 2, 1, Qt::AlignCenter);
    bottom->setColumnStretch(4, 1);

    EditSorgente = new TPageBufferEdit(PanelBottom);
    EditSorgente->setObjectName(QStringLiteral("EditSorgente"));
    bands->addWidget(PanelBottom);

    setCentralWidget(central);
}

QAction* TfrmMain::addItem(QMenu* menu, const char* name, const QString& text, const char* pic,
                           void (TfrmMain::*handler)(QObject*))
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    if (pic)
        a->setIcon(picture(pic));
    a->setIconVisibleInMenu(true);
    if (handler)
        ConnectHandler(a, &QAction::triggered, this, handler);
    return a;
}

void TfrmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setNativeMenuBar(false);
    // The menu bar keeps the desktop's colours, not the window's dark blue.
    QPalette standard = QApplication::palette(bar);
    for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Button, QPalette::ButtonText})
        standard.setColor(role, standard.color(role));  // marks the roles as set here
    bar->setPalette(standard);
    bar->setAutoFillBackground(true);

    auto menu = [this](QMenu* parent, const char* name, const QString& text) {
        QMenu* m = parent ? parent->addMenu(text) : menuBar()->addMenu(text);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };

    File1 = menu(nullptr, "File1", QStringLiteral("&File"));
    Esci1 = addItem(File1, "Esci1", QStringLiteral("&Exit"), "exit", &TfrmMain::Esci1Click);

    Opzioni1 = menu(nullptr, "Opzioni1", QStringLiteral("&Options"));
    OpzionidiSalvataggio1 = addItem(Opzioni1, "OpzionidiSalvataggio1", QStringLiteral("&Options..."), "options",
                                    &TfrmMain::OpzionidiSalvataggio1Click);

    SitiTrovati1 = menu(nullptr, "SitiTrovati1", QStringLiteral("&Founded Sites"));
    SalvaSitiTrovatisufile1 = addItem(SitiTrovati1, "SalvaSitiTrovatisufile1",
                                      QStringLiteral("&Save Founded Sites on File..."), "save",
                                      &TfrmMain::SalvaSitiTrovatisufile1Click);
    ApriSitiTrovatidaFile1 = addItem(SitiTrovati1, "ApriSitiTrovatidaFile1",
                                     QStringLiteral("&Open Founded Sites from File..."), "open",
                                     &TfrmMain::ApriSitiTrovatidaFile1Click);
    Eliminadallalista3 = addItem(SitiTrovati1, "Eliminadallalista3", QStringLiteral("&Erase from list"), "erase",
                                 &TfrmMain::Eliminadallalista3Click);
    Eraseselectedfromlist1 = addItem(SitiTrovati1, "Eraseselectedfromlist1", QStringLiteral("Erase selected from list"),
                                     "eraseticked", &TfrmMain::Eraseselectedfromlist1Click);
    selezionaTutti1 = addItem(SitiTrovati1, "selezionaTutti1", QStringLiteral("&Select All"), "selectall",
                              &TfrmMain::selezionaTutti1Click);
    DeselezionaTutti1 = addItem(SitiTrovati1, "DeselezionaTutti1", QStringLiteral("&Unselect All"), "unselectall",
                                &TfrmMain::DeselezionaTutti1Click);
    InvertiSelezione1 = addItem(SitiTrovati1, "InvertiSelezione1", QStringLiteral("&Reverse Selection"), "reverse",
                                &TfrmMain::InvertiSelezione1Click);
    VisitaPaginaWeb1 = addItem(SitiTrovati1, "VisitaPaginaWeb1", QStringLiteral("Visit &Web Page..."), "web",
                               &TfrmMain::VisitaPaginaWeb1Click);
    Searchword1 = addItem(SitiTrovati1, "Searchword1", QStringLiteral("Search word..."), "word",
                          &TfrmMain::Searchword1Click);

    Risultati1 = menu(nullptr, "Risultati1", QStringLiteral("Search Results"));
    SaveEmaillistOn1 = menu(Risultati1, "SaveEmaillistOn1", QStringLiteral("&Save Email list on"));
    SaveEmaillistOn1->menuAction()->setIcon(picture("save"));
    SalvalistaemailsuFile1 = addItem(SaveEmaillistOn1, "SalvalistaemailsuFile1", QStringLiteral("Text File"), nullptr,
                                     &TfrmMain::SalvalistaemailsuFile1Click);
    WindowsAdrdessBookFile1 = addItem(SaveEmaillistOn1, "WindowsAdrdessBookFile1",
                                      QStringLiteral("Windows Adrdess Book File"), nullptr,
                                      &TfrmMain::WindowsAdrdessBookFile1Click);
    OpenEmaillistFrom1 = menu(Risultati1, "OpenEmaillistFrom1", QStringLiteral("&Open Email list from"));
    OpenEmaillistFrom1->menuAction()->setIcon(picture("open"));
    AprilistaemaildaFile1 = addItem(OpenEmaillistFrom1, "AprilistaemaildaFile1", QStringLiteral("Text File"), nullptr,
                                    &TfrmMain::AprilistaemaildaFile1Click);
    WindowsAdrdessBookFile2 = addItem(OpenEmaillistFrom1, "WindowsAdrdessBookFile2",
                                      QStringLiteral("Windows Adrdess Book File"), nullptr,
                                      &TfrmMain::WindowsAdrdessBookFile2Click);
    SendEmailWith1 = menu(Risultati1, "SendEmailWith1", QStringLiteral("&Send Email with"));
    SendEmailWith1->menuAction()->setIcon(picture("mail"));
    Corvina1 = addItem(SendEmailWith1, "Corvina1", QStringLiteral("&Corvina"), "corvina", &TfrmMain::Corvina1Click);
    ProgrammaPredefinito1 = addItem(SendEmailWith1, "ProgrammaPredefinito1", QStringLiteral("Predefined Program"),
                                    "mail", &TfrmMain::ProgrammaPredefinito1Click);
    Elimina1 = addItem(Risultati1, "Elimina1", QStringLiteral("&Erase from list"), "erase", &TfrmMain::Elimina1Click);
    Eraseselectedfromlist2 = addItem(Risultati1, "Eraseselectedfromlist2", QStringLiteral("Erase selected from list"),
                                     "eraseticked", &TfrmMain::Eraseselectedfromlist2Click);
    SelezionaTutti3 = addItem(Risultati1, "SelezionaTutti3", QStringLiteral("&Select All"), "selectall",
                              &TfrmMain::SelezionaTutti3Click);
    DeselezionaTutti3 = addItem(Risultati1, "DeselezionaTutti3", QStringLiteral("&Unselect All"), "unselectall",
                                &TfrmMain::DeselezionaTutti3Click);
    InvertiSelezione2 = addItem(Risultati1, "InvertiSelezione2", QStringLiteral("&Reverse Selection"), "reverse",
                                &TfrmMain::InvertiSelezione2Click);
    Searchword2 = addItem(Risultati1, "Searchword2", QStringLiteral("Search word..."), "word",
                          &TfrmMain::Searchword2Click);
    Modifyselected1 = addItem(Risultati1, "Modifyselected1", QStringLiteral("Modify selected"), "modify",
                              &TfrmMain::Modifyselected1Click);

    Help1 = menu(nullptr, "Help1", QStringLiteral("&Help"));
    InformazionisuCorvina1 = addItem(Help1, "InformazionisuCorvina1", QStringLiteral("&Informations on Corvina..."),
                                     "info", &TfrmMain::InformazionisuCorvina1Click);
    HelpinLinea1 = addItem(Help1, "HelpinLinea1", QStringLiteral("Online Help"), "help", &TfrmMain::HelpinLinea1Click);
    ControllapresenzadiAggiornamenti1 = addItem(Help1, "ControllapresenzadiAggiornamenti1",
                                                QStringLiteral("Check for Updates..."), "update",
                                                &TfrmMain::ControllapresenzadiAggiornamenti1Click);
    ShowLog1 = addItem(Help1, "ShowLog1", QStringLiteral("Show &Log..."), nullptr, &TfrmMain::ShowLog1Click);

    // Context menu of the Found Sites list.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SelezionaTutti2 = addItem(PopupMenu1, "SelezionaTutti2", QStringLiteral("&Seleziona Tutti"), "selectall",
                              &TfrmMain::selezionaTutti1Click);
    DeselezionaTutti2 = addItem(PopupMenu1, "DeselezionaTutti2", QStringLiteral("&Deseleziona Tutti"), "unselectall",
                                &TfrmMain::DeselezionaTutti1Click);
    InvertiSelezione3 = addItem(PopupMenu1, "InvertiSelezione3", QStringLiteral("&Inverti Selezione"), "reverse",
                                &TfrmMain::InvertiSelezione1Click);
    VisitaPaginaWeb2 = addItem(PopupMenu1, "VisitaPaginaWeb2", QStringLiteral("Visita Pagina &Web..."), "web",
                               &TfrmMain::VisitaPaginaWeb1Click);
    SalvaSitiTrovatisufile2 = addItem(PopupMenu1, "SalvaSitiTrovatisufile2",
                                      QStringLiteral("&Salva Siti Trovati su File..."), "save",
                                      &TfrmMain::SalvaSitiTrovatisufile1Click);
    ApriSitiTrovatidaFile2 = addItem(PopupMenu1, "ApriSitiTrovatidaFile2",
                                     QStringLiteral("&Apri Siti Trovati da File..."), "open",
                                     &TfrmMain::ApriSitiTrovatidaFile1Click);
    Eliminadallalista1 = addItem(PopupMenu1, "Eliminadallalista1", QStringLiteral("Elimina dalla lista"), "erase",
                                 &TfrmMain::Eliminadallalista3Click);
    Eraseselectedfromlist3 = addItem(PopupMenu1, "Eraseselectedfromlist3", QStringLiteral("Erase selected from list"),
                                     "eraseticked", &TfrmMain::Eraseselectedfromlist1Click);

    // Context menu of the Results list.
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    InviaEmailutilizzando1 = menu(PopupMenu2, "InviaEmailutilizzando1", QStringLiteral("&Invia Email utilizzando"));
    InviaEmailutilizzando1->menuAction()->setIcon(picture("mail"));
    Corvina2 = addItem(InviaEmailutilizzando1, "Corvina2", QStringLiteral("&Corvina"), "corvina",
                       &TfrmMain::Corvina1Click);
    ProgrammaPredefinito2 = addItem(InviaEmailutilizzando1, "ProgrammaPredefinito2",
                                    QStringLiteral("&Programma Predefinito"), "mail",
                                    &TfrmMain::ProgrammaPredefinito1Click);
    Eliminadallalista2 = addItem(PopupMenu2, "Eliminadallalista2", QStringLiteral("&Elimina dalla lista"), "erase",
                                 &TfrmMain::Elimina1Click);
    Eraseselectedfromlist4 = addItem(PopupMenu2, "Eraseselectedfromlist4", QStringLiteral("Erase selected from list"),
                                     "eraseticked", &TfrmMain::Eraseselectedfromlist2Click);
    SelezionaTutti4 = addItem(PopupMenu2, "SelezionaTutti4", QStringLiteral("&Seleziona Tutti"), "selectall",
                              &TfrmMain::SelezionaTutti3Click);
    DeselezionaTutti4 = addItem(PopupMenu2, "DeselezionaTutti4", QStringLiteral("&Deseleziona Tutti"), "unselectall",
                                &TfrmMain::DeselezionaTutti3Click);
    InvertiSelezione4 = addItem(PopupMenu2, "InvertiSelezione4", QStringLiteral("&Inverti Selezione"), "reverse",
                                &TfrmMain::InvertiSelezione2Click);
    SalvalistaemailsuFile2 = addItem(PopupMenu2, "SalvalistaemailsuFile2",
                                     QStringLiteral("&Salva lista email su File..."), "save",
                                     &TfrmMain::SalvalistaemailsuFile1Click);
    AprilistaemaildaFile2 = addItem(PopupMenu2, "AprilistaemaildaFile2",
                                    QStringLiteral("&Apri lista email da File..."), "open",
                                    &TfrmMain::AprilistaemaildaFile1Click);

    // The Del key is shown on the two "erase from list" items; the lists
    // themselves pass the key on (see connectHandlers), so the shortcut is
    // only displayed here and never competes with other windows.
    for (QAction* a : {Eliminadallalista1, Eliminadallalista2}) {
        a->setShortcut(QKeySequence(Qt::Key_Delete));
        a->setShortcutContext(Qt::WidgetShortcut);
    }
}

namespace {

// The key words and the engine persist in the settings file beside the
// Options dialog's.
const QString kKeyWordsKey = QStringLiteral("Main/KeyWords");
const QString kEngineKey = QStringLiteral("Main/Engine");
// The most recent key words kept for the next start.
constexpr int kKeptKeyWords = 50;

} // namespace

void TfrmMain::loadMainSettings()
{
    const QSettings file(FileNameToQt(SettingsFilePath()), QSettings::IniFormat);
    const QStringList words = file.value(kKeyWordsKey).toStringList();
    for (const QString& w : words)
        EditParolaChiave->addItem(w);
    EditParolaChiave->setEditText(QString());
    const QString engine = file.value(kEngineKey).toString();
    if (!engine.isEmpty()) {
        const int i = EditMotore->findText(engine, Qt::MatchExactly);
        if (i >= 0)
            EditMotore->setCurrentIndex(i);
        else
            EditMotore->setEditText(engine);
    }
    savedEngine_ = EditMotore->currentText();
}

void TfrmMain::saveKeyWords()
{
    QStringList words;
    const int n = EditParolaChiave->count();
    for (int i = std::max(0, n - kKeptKeyWords); i < n; ++i)
        words << EditParolaChiave->itemText(i);
    QSettings file(FileNameToQt(SettingsFilePath()), QSettings::IniFormat);
    file.setValue(kKeyWordsKey, words);
    file.sync();
}

void TfrmMain::saveEngine()
{
    // Written only when it changed, so a start without changes writes nothing.
    const QString engine = EditMotore->currentText();
    if (engine == savedEngine_)
        return;
    QSettings file(FileNameToQt(SettingsFilePath()), QSettings::IniFormat);
    file.setValue(kEngineKey, engine);
    file.sync();
    savedEngine_ = engine;
}

void TfrmMain::connectHandlers()
{
    // Each search remembers its key words in the box: they are kept for the
    // next start at once, with the engine searched.
    connect(EditParolaChiave->model(), &QAbstractItemModel::rowsInserted, this, [this] {
        saveKeyWords();
        saveEngine();
    });

    ConnectGuarded(EditMotore, &QComboBox::currentTextChanged, this, [this] { EditMotoreChange(EditMotore); });

    connect(CheckListBoxTrovati, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(CheckListBoxTrovati->viewport()->mapToGlobal(pos)); });
    connect(CheckListBoxRisultati, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu2->popup(CheckListBoxRisultati->viewport()->mapToGlobal(pos)); });

    ConnectHandler(CheckListBoxTrovati, &TCheckListBox::DeleteKeyPressed, this, &TfrmMain::Eliminadallalista3Click);
    ConnectHandler(CheckListBoxRisultati, &TCheckListBox::DeleteKeyPressed, this, &TfrmMain::Elimina1Click);
}

void TfrmMain::FormCreate(QObject*)
{
    SetEscapedErrorHandler([this](QObject* Sender, const std::exception& E) { myException(Sender, E); });
    // What the network timers let escape is dropped too, but a developer can
    // see it with QT_LOGGING_RULES="corvina.net=true".
    SetApplicationExceptionHandler([](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            qCInfo(lcNetHook, "dropped: %s", x.what());
        } catch (...) {
            qCInfo(lcNetHook, "dropped an unknown error");
        }
    });
    EditSorgente->Clear();
    CheckListBoxRisultati->Items->Clear();
    CheckListBoxTrovati->Items->Clear();
    EditSorgente->HorzScrollBar = true;
    EditSorgente->VertScrollBar = true;
    ProgramDir = ProgramDirectoryOf(programFile_.empty() ? FileNameFromQt(QCoreApplication::applicationFilePath())
                                                         : programFile_);
}

void TfrmMain::myException(QObject* Sender, const std::exception& E)
{
    qCInfo(lcApp, "%s ended: %s", Sender ? qPrintable(Sender->objectName()) : "action", E.what());
    // An action that fails ends silently where it failed; whatever it had
    // already changed stays changed.
}

void TfrmMain::Esci1Click(QObject*)
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    saveEngine();
    // A search or harvest waiting for a page is inside this event: stop both
    // between pages and end the wait now, so the program does not run on
    // without a window until the fetch ends.
    if (sessions_) {
        sessions_->Search.RequestStop();
        sessions_->Harvest.Stop();
    }
    NMHTTP->Abort();
    emit Closed();
}

void TfrmMain::OpzionidiSalvataggio1Click(QObject*)
{
    frmOpzioni->show();
    frmOpzioni->raise();
    frmOpzioni->activateWindow();
}

void TfrmMain::InformazionisuCorvina1Click(QObject*)
{
    frmAbout->show();
    frmAbout->raise();
    frmAbout->activateWindow();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the engine selector or the key-words box presses the default
    // button, as anywhere else outside a button.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isPlainEnter(key)) {
            if (cmdCerca->isEnabled() && cmdCerca->isVisible())
                cmdCerca->click();
            return true;
        }
        // An Alt key that no enabled button or menu took (Alt+N while Next
        // is disabled during a looping Search) would type its letter into
        // the box and change the key words unseen.
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier) &&
            !key->text().isEmpty() && key->text().at(0).isPrint())
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    // Enter that no control wanted (a list, a counter) reaches the window:
    // it presses the default button.
    if (isPlainEnter(event)) {
        event->accept();
        if (cmdCerca->isEnabled())
            cmdCerca->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
