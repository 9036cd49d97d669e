// The main window's search and harvest handlers, and the window as the view
// of both sessions.
#include "frmMain.h"
#include "frmMainSessions.h"
#include "frmOpzioni.h"

#include "SysUtils.h"

#include <QApplication>
#include <QStatusBar>

#include <cmath>

// A search mode group with no item chosen reads as one page each time.
TSessionSettings SessionSettings()
{
    TSessionSettings s;
    switch (frmOpzioni->RadioGroup2->ItemIndex()) {
    case 0: s.Mode = TSearchMode::Automatic; break;
    case 1: s.Mode = TSearchMode::AllPages; break;
    default: s.Mode = TSearchMode::MaxPagesEachTime; break;
    }
    s.MaxPages = fromQt(frmOpzioni->EditNumMax->text());
    s.Domain = fromQt(frmOpzioni->EditDominio->text());
    s.PlainTextOnly = frmOpzioni->CheckBoxTestoSemplice->isChecked();
    s.DisconnectOnEnd = frmOpzioni->CheckBoxDisconnRic->isChecked();
    s.SearxngAddress = fromQt(frmOpzioni->EditSearxng->text());
    s.MojeekKey = fromQt(frmOpzioni->EditMojeekKey->text());
    // A delay that is not a number of seconds counts as the default.
    bool ok = false;
    const double delay = frmOpzioni->EditPausa->text().trimmed().toDouble(&ok);
    if (ok && delay >= 0 && std::isfinite(delay))
        s.DelaySeconds = delay;
    s.KeepAllAddresses = frmOpzioni->CheckBoxTuttiIndirizzi->isChecked();
    s.SitesAtOnce = frmOpzioni->SpinSitiInsieme->value();
    return s;
}

namespace {

void setCaptionAndHint(QPushButton* button, const char* caption, const char* hint)
{
    button->setText(QString::fromLatin1(caption));
    const QString h = QString::fromLatin1(hint);
    button->setToolTip(h);
    button->setStatusTip(h);
    button->setAccessibleDescription(h);
}

} // namespace

// ---- the window as the sessions' view ----

std::string TfrmMainView::EngineText() { return fromQt(form_.EditMotore->currentText()); }
std::string TfrmMainView::KeyWords() { return fromQt(form_.EditParolaChiave->currentText()); }
void TfrmMainView::RememberKeyWords(const std::string& words) { form_.EditParolaChiave->addItem(toQt(words)); }
void TfrmMainView::ClearKeyWords() { form_.EditParolaChiave->setEditText(QString()); }
void TfrmMainView::FocusKeyWords() { form_.EditParolaChiave->setFocus(); }
void TfrmMainView::ShowFoundCount(int count) { form_.LabelTrovati->setText(QString::number(count)); }
void TfrmMainView::ShowTotalLabel(const std::string& text) { form_.LabelTotPag->setText(toQt(text)); }
void TfrmMainView::ShowResultCount(int count) { form_.LabelEmailTrovate->setText(QString::number(count)); }
void TfrmMainView::ShowExamined(const std::string& text) { form_.LabelProgress->setText(toQt(text)); }

void TfrmMainView::SetScanningBar(int maximum, int position) { SetGauge(form_.ProgressBar2, maximum, position); }
void TfrmMainView::SetScanningPosition(int position) { SetGaugePosition(form_.ProgressBar2, position); }
void TfrmMainView::SetHarvestBar(int maximum, int position) { SetGauge(form_.ProgressBar1, maximum, position); }
void TfrmMainView::SetHarvestPosition(int position) { SetGaugePosition(form_.ProgressBar1, position); }
void TfrmMainView::EnableSearch(bool enabled) { form_.Gate->SetEnabled(form_.cmdCerca, enabled); }
void TfrmMainView::EnableNext(bool enabled) { form_.Gate->SetEnabled(form_.cmdSucc, enabled); }
void TfrmMainView::NextOffersNext() { setCaptionAndHint(form_.cmdSucc, "&Next...", "Search next pages"); }
void TfrmMainView::NextOffersResume() { setCaptionAndHint(form_.cmdSucc, "Resume...", "Resume Searching pages"); }

void TfrmMainView::HarvestOffersSearch()
{
    setCaptionAndHint(form_.cmdTrovaEmail, "Search &Email", "Search for Email in Founded Sites");
}

void TfrmMainView::HarvestOffersResume()
{
    setCaptionAndHint(form_.cmdTrovaEmail, "Resume Search", "Resume Email Searching on Founded Sites");
}

// In the status bar, for the run that is going on or ended last.
void TfrmMainView::ShowSkipped(const THarvestSkips& skips)
{
    const std::string text = skips.Text();
    if (text.empty())
        form_.statusBar()->clearMessage();
    else
        form_.statusBar()->showMessage(toQt(text));
}

void TfrmMainView::ShowError(const std::string& text)
{
    MessageBox(text, "ERROR", TMsgButtons::OK, &form_, TMsgIcon::Error);
}

void TfrmMainView::HangUp()
{
    const std::string title = fromQt(QApplication::applicationName());
    HangUpDialUp(DialUp(), [&title](const std::string& text) { MessageBox(text, title, TMsgButtons::OK); });
}

TMainSessions::TMainSessions(TfrmMain& form)
    : View(form),
      Fetcher(*form.NMHTTP),
      Harvest(View, Fetcher, *form.CheckListBoxTrovati->Items, *form.CheckListBoxRisultati->Items, *form.EditSorgente),
      Search(View, Fetcher, *form.CheckListBoxTrovati->Items, *form.CheckListBoxRisultati->Items, *form.EditSorgente,
             Harvest)
{
    // The harvest's workers: each a client of its own, set up as the
    // window's is when the worker starts (time-out, User-Agent, proxies).
    Harvest.MakeFetcher = [&form]() -> std::unique_ptr<IPageFetcher> {
        auto fetcher = std::make_unique<TOwnHttpFetcher>();
        CopyHttpSetUp(*form.NMHTTP, fetcher->Http);
        return fetcher;
    };
}

// ---- handlers ----

TMainSessions& TfrmMain::Sessions()
{
    if (!sessions_)
        sessions_ = std::make_unique<TMainSessions>(*this);
    return *sessions_;
}

void TfrmMain::cmdNuovaRicClick(QObject*)
{
    Sessions().Search.NewSearch();
    // A new search starts with typing its key words.
    EditParolaChiave->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::cmdCercaClick(QObject*)
{
    if (auto hold = TNetworkBusy::TryHold("Search"))
        Sessions().Search.Search();
}

void TfrmMain::cmdSuccClick(QObject*)
{
    if (auto hold = TNetworkBusy::TryHold("Next"))
        Sessions().Search.NextOrResume();
}
void TfrmMain::BitBtn1Click(QObject*) { Sessions().Search.Stop(); }
void TfrmMain::EditMotoreChange(QObject*) { Sessions().Search.EngineChanged(); }
