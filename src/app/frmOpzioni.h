// The Options dialog. Its controls are the settings: other windows read them
// at the moment they need them. The four outgoing-mail fields are loaded from
// user.dat at creation and written back by OK; the search and saving settings
// likewise from the settings file corvina.conf in the user's configuration
// directory.
#pragma once

#include "Controls.h"
#include "UserDat.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QPushButton>
#include <QTabWidget>

class TfrmOpzioni : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOpzioni(QWidget* parent = nullptr);
    ~TfrmOpzioni() override;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "Saving"
    QWidget* TabSheet2;  // "E-mail"
    QWidget* TabSheet3;  // "Search"
    QWidget* TabSheet4;  // "Engines"

    // Saving.
    TRadioGroup* RadioGroup1;       // saving format: 0 columned, 1 on one row
    QLabel* LabelSeparatore;
    QLineEdit* EditSeparatore;

    // E-mail.
    QGroupBox* GroupBox1;           // "Outgoing E-mail"
    QLabel* LabelServer;
    QLineEdit* EditServer;          // user.dat line 1
    QLabel* LabelNome;
    QLineEdit* EditNome;            // line 2
    QLabel* LabelIndirizzo;
    QLineEdit* EditIndirizzo;       // line 3
    QLabel* LabelMittente;
    QLineEdit* EditMittente;        // line 4
    QCheckBox* CheckBoxNascondi;

    // Search.
    TRadioGroup* RadioGroup2;       // search mode
    QCheckBox* CheckBoxTestoSemplice;
    QCheckBox* CheckBoxDisconnRic;
    QCheckBox* CheckBoxTuttiIndirizzi; // keep finds whose domain is no public one
    QLabel* LabelNumMax;
    QLineEdit* EditNumMax;
    QLabel* LabelTimeOut;
    QLineEdit* EditTimeOut;
    QLabel* LabelAttesaPagina;
    QLineEdit* EditAttesaPagina;    // seconds one page may take, redirects included
    QLabel* LabelPausa;
    QLineEdit* EditPausa;           // seconds between two requests to one host
    QLabel* LabelSitiInsieme;
    QSpinBox* SpinSitiInsieme;      // sites a harvest fetches at once, 1 to 32
    QLabel* LabelDominio;
    QLineEdit* EditDominio;
    QLabel* LabelDominioEsempio;

    // Engines.
    QLabel* LabelSearxng;
    QLineEdit* EditSearxng;         // the SearXNG instance's address
    QLabel* LabelMojeekKey;
    QLineEdit* EditMojeekKey;       // the Mojeek API key

    QPushButton* BitBtn1;           // OK

    void FormCreate(QObject* Sender = nullptr);
    void BitBtn1Click(QObject* Sender = nullptr);

    // The program directory, where an older build kept user.dat.
    std::string ProgramDir() const;

private:
    // Applies the settings file's values that are valid; others keep the
    // controls' defaults.
    void loadSettings();
    void saveSettings();

    // The mail values as loaded: a field left as loaded is written back with
    // its own bytes.
    TUserDatValues loaded_;
};

// The message OK shows for a search time-out that is not valid.
extern const std::string kTimeOutRefused;
// The message OK shows for a longest wait for one page that is not valid.
extern const std::string kPageWaitRefused;

// A longest wait for one page as typed: a whole number of seconds from 0 (no
// limit) to 2147483, given in milliseconds.
bool ParsePageWaitText(const std::string& text, int32_t& ms);

// The settings file for the settings user.dat does not hold.
std::string SettingsFilePath();

extern TfrmOpzioni* frmOpzioni;
