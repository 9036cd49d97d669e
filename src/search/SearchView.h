// What the search session shows and reads: the main window's key words,
// engine selector, Found Sites counters, Scanning bar and the Search and Next
// buttons, and the search settings of the Options dialog. It extends the
// harvest's view, since a search in automatic mode harvests what it found
// and New Search resets the harvest's counters. The window implements it over
// its controls; tests and corvina-cli implement it over plain values.
#pragma once

#include "Engines.h"
#include "HarvestView.h"

#include <string>

// The three search modes of the Options dialog, in the order of its items.
enum class TSearchMode {
    Automatic = 0,        // pages, then the addresses of every site found
    AllPages = 1,         // page on until the total (or max pages) is reached
    MaxPagesEachTime = 2, // one page per Search, further pages by Next
};

// The settings a session reads, taken afresh from the Options dialog each
// time a session needs one.
struct TSessionSettings : THarvestSettings {
    TSearchMode Mode = TSearchMode::MaxPagesEachTime;
    // "Max Pages to Search" as typed: "0" means no limit; any other text is
    // converted when it is used, and one that is not a whole number ends the
    // search action.
    std::string MaxPages = "50";
    std::string Domain;            // "Search only on this domain", "" for none
    bool PlainTextOnly = false;    // only .html, .htm and .txt links
    // The engines' page of Options: where the self-hosted SearXNG answers,
    // and the Mojeek API key (never logged).
    std::string SearxngAddress = kSearxngDefaultAddress;
    std::string MojeekKey;
    // Replaces the base address of whichever engine is in use ("" keeps the
    // engine's own); corvina-cli's --engine-url.
    std::string EngineUrl;
};

class ISessionView : public IHarvestView {
public:
    virtual TSessionSettings Settings() = 0;
    THarvestSettings HarvestSettings() override { return Settings(); }

    // ---- search input ----
    virtual std::string EngineText() = 0;            // the engine selector's whole text
    virtual std::string KeyWords() = 0;              // the key-words box's text
    virtual void RememberKeyWords(const std::string& words) = 0; // append to its drop-down list
    virtual void ClearKeyWords() = 0;                // empty the text, keep the list
    virtual void FocusKeyWords() = 0;

    // ---- counters and progress bars ----
    virtual void ShowFoundCount(int count) = 0;               // LabelTrovati
    virtual void ShowTotalLabel(const std::string& text) = 0; // LabelTotPag
    virtual void SetScanningBar(int maximum, int position) = 0; // ProgressBar2
    virtual void SetScanningPosition(int position) = 0;

    // ---- button states ----
    virtual void EnableSearch(bool enabled) = 0;   // cmdCerca
    virtual void EnableNext(bool enabled) = 0;     // cmdSucc
    // cmdSucc offers the next page ("&Next...") or a resume ("Resume...").
    virtual void NextOffersNext() = 0;
    virtual void NextOffersResume() = 0;
};

// A view without a window: the settings, engine text and key words are plain
// values, Next's state is remembered, and everything shown is dropped.
// corvina-cli and the benchmarks start from it.
class TPlainSessionView : public ISessionView {
public:
    TSessionSettings settings;
    std::string engineText;
    std::string keyWords;
    THarvestSkips skips; // as last shown

    TSessionSettings Settings() override { return settings; }
    std::string EngineText() override { return engineText; }
    std::string KeyWords() override { return keyWords; }
    void RememberKeyWords(const std::string&) override {}
    void ClearKeyWords() override { keyWords.clear(); }
    void FocusKeyWords() override {}
    void ShowFoundCount(int) override {}
    void ShowTotalLabel(const std::string&) override {}
    void ShowResultCount(int) override {}
    void ShowExamined(const std::string&) override {}
    void SetScanningBar(int, int) override {}
    void SetScanningPosition(int) override {}
    void SetHarvestBar(int, int) override {}
    void SetHarvestPosition(int) override {}
    void EnableSearch(bool) override {}
    void EnableNext(bool) override {}
    void NextOffersNext() override {}
    void NextOffersResume() override {}
    void HarvestOffersSearch() override {}
    void HarvestOffersResume() override {}
    void ShowSkipped(const THarvestSkips& s) override { skips = s; }
    void ShowError(const std::string&) override {}
    void HangUp() override {}
};
