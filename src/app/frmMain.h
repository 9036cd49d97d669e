// The main window: engine selector and key words, the Found Sites and
// Results lists with their counters and progress bars, the six command
// buttons, the menus, the page buffer and the file dialogs.
//
// Every control is public: the other windows and the search, harvest, list
// and mail handlers read and set them directly.
#pragma once

#include "Busy.h"
#include "Controls.h"
#include "Desktop.h"
#include "Nmhttp.h"
#include "RunLog.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include <exception>
#include <memory>
#include <string>

class TMainSessions;
class TfrmHelp;
class TfrmLog;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // programFile: the path of the program file, from which the program
    // directory is computed (the running program's own path when empty).
    explicit TfrmMain(const std::string& programFile = {});
    ~TfrmMain() override;

    // ---- bands ----
    QFrame* Panel1;       // the one panel holding the three bands
    QFrame* PanelTop;     // search input
    QFrame* PanelMiddle;  // lists and gauges
    QFrame* PanelBottom;  // commands

    // ---- search input ----
    QLabel* LabelMotore;
    QComboBox* EditMotore;        // engine selector: the engines' home addresses
    QLabel* LabelParolaChiave;
    QComboBox* EditParolaChiave;  // key words

    // ---- lists and gauges ----
    QLabel* LabelSitiTrovati;
    TCheckListBox* CheckListBoxTrovati;   // Found Sites
    QLabel* LabelScanning;
    QProgressBar* ProgressBar2;           // search progress
    QLabel* LabelFounded1;
    QLabel* LabelTrovati;                 // Found Sites count
    QLabel* LabelTotalPages;
    QLabel* LabelTotPag;                  // the engine's result total

    QLabel* LabelRisultati;
    TCheckListBox* CheckListBoxRisultati; // Results
    QLabel* LabelSearchProgression;
    QProgressBar* ProgressBar1;           // harvest progress
    QLabel* LabelFounded2;
    QLabel* LabelEmailTrovate;            // Results count
    QLabel* LabelExaminedPages;
    QLabel* LabelProgress;                // sites examined "/" sites ticked

    // ---- commands ----
    QPushButton* cmdCerca;       // "&Search !", the default button
    QPushButton* cmdSucc;        // "&Next..." / "Resume..."
    QPushButton* cmdNuovaRic;    // "New Search"
    QPushButton* BitBtn1;        // "Stop Search"
    QPushButton* cmdTrovaEmail;  // "Search &Email" / "Resume Search"
    QPushButton* BitBtn2;        // "Stop SearchEmail"
    QLabel* Image1;              // the product logo

    // ---- working parts ----
    TPageBufferEdit* EditSorgente;  // the page buffer, never visible
    // The program's one HTTP client, shared by the search, the harvest and
    // the update check. Its time-out starts at 10000 ms; the Options dialog's
    // OK sets it. When the environment names an HTTP proxy (http_proxy, and
    // https_proxy for https), the client uses it.
    TNMHTTP* NMHTTP;
    TFileDialog SaveDialog;
    TFileDialog OpenDialog;
    // The program file's directory, with its final "/" (empty when the path
    // has none). A user.dat that an older build kept there is moved to the
    // user's configuration folder at start.
    std::string ProgramDir;

    // ---- main menu ----
    QMenu* File1;
    QAction* Esci1;
    QMenu* Opzioni1;
    QAction* OpzionidiSalvataggio1;
    QMenu* SitiTrovati1;
    QAction* SalvaSitiTrovatisufile1;
    QAction* ApriSitiTrovatidaFile1;
    QAction* Eliminadallalista3;
    QAction* Eraseselectedfromlist1;
    QAction* selezionaTutti1;
    QAction* DeselezionaTutti1;
    QAction* InvertiSelezione1;
    QAction* VisitaPaginaWeb1;
    QAction* Searchword1;
    QMenu* Risultati1;
    QMenu* SaveEmaillistOn1;
    QAction* SalvalistaemailsuFile1;
    QAction* WindowsAdrdessBookFile1;
    QMenu* OpenEmaillistFrom1;
    QAction* AprilistaemaildaFile1;
    QAction* WindowsAdrdessBookFile2;
    QMenu* SendEmailWith1;
    QAction* Corvina1;
    QAction* ProgrammaPredefinito1;
    QAction* Elimina1;
    QAction* Eraseselectedfromlist2;
    QAction* SelezionaTutti3;
    QAction* DeselezionaTutti3;
    QAction* InvertiSelezione2;
    QAction* Searchword2;
    QAction* Modifyselected1;
    QMenu* Help1;
    QAction* InformazionisuCorvina1;
    QAction* HelpinLinea1;
    QAction* ControllapresenzadiAggiornamenti1;
    QAction* ShowLog1;
    // Search, Next, Search Email and Check for Updates: enabled as the
    // sessions want while no network action runs, disabled while one does.
    TBusyGate* Gate;
    // The status bar's last failure of this run (from the run's log).
    QLabel* LabelUltimoErrore;

    // ---- context menu of the Found Sites list ----
    QMenu* PopupMenu1;
    QAction* SelezionaTutti2;
    QAction* DeselezionaTutti2;
    QAction* InvertiSelezione3;
    QAction* VisitaPaginaWeb2;
    QAction* SalvaSitiTrovatisufile2;
    QAction* ApriSitiTrovatidaFile2;
    QAction* Eliminadallalista1;     // Del
    QAction* Eraseselectedfromlist3;

    // ---- context menu of the Results list ----
    QMenu* PopupMenu2;
    QMenu* InviaEmailutilizzando1;
    QAction* Corvina2;
    QAction* ProgrammaPredefinito2;
    QAction* Eliminadallalista2;     // Del
    QAction* Eraseselectedfromlist4;
    QAction* SelezionaTutti4;
    QAction* DeselezionaTutti4;
    QAction* InvertiSelezione4;
    QAction* SalvalistaemailsuFile2;
    QAction* AprilistaemaildaFile2;

    // The search and harvest sessions over this window's lists, page buffer
    // and HTTP client.
    TMainSessions& Sessions();

    // ---- handlers ----
    void FormCreate(QObject* Sender = nullptr);
    // Where every error that escapes a handler ends: it is dropped.
    void myException(QObject* Sender, const std::exception& E);
    void Esci1Click(QObject* Sender = nullptr);
    void OpzionidiSalvataggio1Click(QObject* Sender = nullptr);
    void InformazionisuCorvina1Click(QObject* Sender = nullptr);

    // Search session.
    void cmdCercaClick(QObject* Sender = nullptr);
    void cmdSuccClick(QObject* Sender = nullptr);
    void cmdNuovaRicClick(QObject* Sender = nullptr);
    void BitBtn1Click(QObject* Sender = nullptr);
    void EditMotoreChange(QObject* Sender = nullptr);
    // Harvest session.
    void cmdTrovaEmailClick(QObject* Sender = nullptr);
    void BitBtn2Click(QObject* Sender = nullptr);
    // List operations.
    void Eliminadallalista3Click(QObject* Sender = nullptr);
    void Eraseselectedfromlist1Click(QObject* Sender = nullptr);
    void selezionaTutti1Click(QObject* Sender = nullptr);
    void DeselezionaTutti1Click(QObject* Sender = nullptr);
    void InvertiSelezione1Click(QObject* Sender = nullptr);
    void Searchword1Click(QObject* Sender = nullptr);
    void Elimina1Click(QObject* Sender = nullptr);
    void Eraseselectedfromlist2Click(QObject* Sender = nullptr);
    void SelezionaTutti3Click(QObject* Sender = nullptr);
    void DeselezionaTutti3Click(QObject* Sender = nullptr);
    void InvertiSelezione2Click(QObject* Sender = nullptr);
    void Searchword2Click(QObject* Sender = nullptr);
    void Modifyselected1Click(QObject* Sender = nullptr);
    // List files.
    void SalvaSitiTrovatisufile1Click(QObject* Sender = nullptr);
    void ApriSitiTrovatidaFile1Click(QObject* Sender = nullptr);
    void SalvalistaemailsuFile1Click(QObject* Sender = nullptr);
    void WindowsAdrdessBookFile1Click(QObject* Sender = nullptr);
    void AprilistaemaildaFile1Click(QObject* Sender = nullptr);
    void WindowsAdrdessBookFile2Click(QObject* Sender = nullptr);
    // Mail.
    void Corvina1Click(QObject* Sender = nullptr);
    void ProgrammaPredefinito1Click(QObject* Sender = nullptr);
    // Periphery.
    void VisitaPaginaWeb1Click(QObject* Sender = nullptr);
    void HelpinLinea1Click(QObject* Sender = nullptr);
    void ControllapresenzadiAggiornamenti1Click(QObject* Sender = nullptr);
    void ShowLog1Click(QObject* Sender = nullptr);

signals:
    // The window was closed: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildBands();
    void buildMenus();
    void connectHandlers();
    // The key-word history and the engine selector's text, kept in the
    // settings file (corvina.conf) from one start to the next.
    void loadMainSettings();
    void saveKeyWords();
    void saveEngine();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, const char* picture,
                     void (TfrmMain::*handler)(QObject*));
    QPushButton* addButton(const char* name, const QString& caption, const QString& hint, const char* picture,
                           void (TfrmMain::*handler)(QObject*));

    // A failure reported by the run's log, on this window's thread.
    void logEntry(const TRunLog::Entry& entry);

    std::string programFile_;
    QString savedEngine_;
    std::unique_ptr<TMainSessions> sessions_;
    TfrmLog* logWindow_ = nullptr;
    TfrmHelp* helpWindow_ = nullptr;
};

// The program directory of a program file path: everything up to and
// including the last "/", or empty when there is none.
std::string ProgramDirectoryOf(const std::string& programFile);

extern TfrmMain* frmMain;
