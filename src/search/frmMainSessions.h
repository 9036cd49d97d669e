// The main window's search and harvest sessions, over its lists, page buffer
// and HTTP client, with the window as their view.
#pragma once

#include "HarvestSession.h"
#include "PageFetcher.h"
#include "SearchSession.h"
#include "SearchView.h"

class TfrmMain;

// The settings the sessions read, taken from the Options dialog now.
TSessionSettings SessionSettings();

class TfrmMainView : public ISessionView {
public:
    explicit TfrmMainView(TfrmMain& form) : form_(form) {}

    TSessionSettings Settings() override { return SessionSettings(); }
    std::string EngineText() override;
    std::string KeyWords() override;
    void RememberKeyWords(const std::string& words) override;
    void ClearKeyWords() override;
    void FocusKeyWords() override;
    void ShowFoundCount(int count) override;
    void ShowTotalLabel(const std::string& text) override;
    void ShowResultCount(int count) override;
    void ShowExamined(const std::string& text) override;
    void SetScanningBar(int maximum, int position) override;
    void SetScanningPosition(int position) override;
    void SetHarvestBar(int maximum, int position) override;
    void SetHarvestPosition(int position) override;
    void EnableSearch(bool enabled) override;
    void EnableNext(bool enabled) override;
    void NextOffersNext() override;
    void NextOffersResume() override;
    void HarvestOffersSearch() override;
    void HarvestOffersResume() override;
    void ShowSkipped(const THarvestSkips& skips) override;
    void ShowError(const std::string& text) override;
    void HangUp() override;

private:
    TfrmMain& form_;
};

class TMainSessions {
public:
    explicit TMainSessions(TfrmMain& form);

    TfrmMainView View;
    THttpPageFetcher Fetcher;
    THarvestSession Harvest;
    TSearchSession Search;
};
