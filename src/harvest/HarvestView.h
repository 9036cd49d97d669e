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
    double DelaySeconds = 1.0;     // least time between two requests to one host
    // Sites fetched at once (1 to 32), never two of one host; above 1 only
    // where the harvest has a way to make clients for its workers.
    int SitesAtOnce = 8;
    // Keep every address the scanner finds, also those whose domain is no
    // public one ("logo@2x.png"); off: such finds are dropped.
    bool KeepAllAddresses = false;
};

// The sites a harvest run passed over without scanning a page, by reason.
struct THarvestSkips {
    int timeOut = 0;     // no answer in time
    int refused = 0;     // refused, reset, unknown host or another connection error
    int robots = 0;      // refused by the site's robots.txt (or robots.txt failing with 5xx)
    int certificate = 0; // the server's certificate was not accepted
    int busy = 0;        // asked to come back more than a minute later
    int other = 0;

    int Total() const { return timeOut + refused + robots + certificate + busy + other; }
    // "Skipped: 2 robots.txt, 1 time-out"; empty when nothing was skipped.
    std::string Text() const
    {
        std::string text;
        const auto add = [&text](int n, const char* what) {
            if (n == 0)
                return;
            text += text.empty() ? "Skipped: " : ", ";
            text += std::to_string(n);
            text += ' ';
            text += what;
        };
        add(robots, "robots.txt");
        add(timeOut, "time-out");
        add(refused, "connection error");
        add(certificate, "certificate");
        add(busy, "busy");
        add(other, "other");
        return text;
    }
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

    // The run's skipped sites so far, by reason (all zero when a run starts).
    virtual void ShowSkipped(const THarvestSkips& skips) = 0;

    virtual void ShowError(const std::string& text) = 0; // message box captioned "ERROR"
    virtual void HangUp() = 0;                           // the dial-up hang-up routine
};
