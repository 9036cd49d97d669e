// What the harvest session shows and reads: the Examined Pages counter and
// bar, the Results counter, Search Email's caption, the error box and the
// dial-up line. The main window implements it over its controls; tests and
// corvina-cli implement it over plain values. The search session's view
// (SearchView.h) extends it, since a search in automatic mode harvests too.
#pragma once

#include <string>

// The settings the harvest reads, taken afresh from the Options dialog each
// time it needs them.
struct THarvestSettings {
    bool DisconnectOnEnd = false;  // hang up the dial-up line when a run ends
    // Keep every address the scanner finds, also those whose domain is no
    // public one ("logo@2x.png"); off: such finds are dropped.
    bool KeepAllAddresses = false;
};

class IHarvestView {
public:
    virtual ~IHarvestView() = default;

    virtual THarvestSettings HarvestSettings() = 0;

    virtual void ShowResultCount(int count) = 0;              // LabelEmailTrovate
    virtual void ShowExamined(const std::string& text) = 0;   // LabelProgress
    virtual void SetHarvestBar(int maximum, int position) = 0;  // ProgressBar1
    virtual void SetHarvestPosition(int position) = 0;

    // cmdTrovaEmail offers a fresh harvest or a resumed one.
    virtual void HarvestOffersSearch() = 0;
    virtual void HarvestOffersResume() = 0;

    virtual void ShowError(const std::string& text) = 0; // message box captioned "ERROR"
    virtual void HangUp() = 0;                           // the dial-up hang-up routine
};
