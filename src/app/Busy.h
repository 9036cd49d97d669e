// One busy state for the program's network work. Every wait services the
// event queue, so without it a click during a search could start a harvest,
// an update check or a mail run inside the search's wait, and the two would
// trip over each other's client and page buffer. While any of them holds
// the state, the commands that would start other network work are disabled
// (TBusyGate), and their handlers refuse to start (TryHold).
//
//   void TfrmMain::cmdCercaClick(QObject*)
//   {
//       auto hold = TNetworkBusy::TryHold("Search");
//       if (!hold) return;            // another network action runs
//       Sessions().Search.Search();
//   }
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QWidget;

class TNetworkBusy : public QObject {
    Q_OBJECT
public:
    static TNetworkBusy& Instance();
    static bool Busy() { return Instance().depth_ > 0; }

    // Marks the state for as long as it lives; the first one makes the
    // program busy and the last one to go makes it free again.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    };
    // A hold for a new network action, or none (logged with the action's
    // name) while another one runs.
    static std::optional<Hold> TryHold(const char* action);

signals:
    void Changed(bool busy);

private:
    int depth_ = 0;
};

// The controls that start network work, enabled as their owners want while
// the program is free and disabled while it is busy. Owners set what they
// want through the gate, never on the control itself, so that a state set
// during a busy spell takes effect when it ends.
class TBusyGate : public QObject {
public:
    explicit TBusyGate(QObject* parent = nullptr);
    void Add(QWidget* control);
    void Add(QAction* control);
    // What the owner wants for the control (one added before).
    void SetEnabled(QObject* control, bool enabled);
    bool Wanted(QObject* control) const;

private:
    struct Entry {
        QPointer<QObject> control;
        std::function<void(bool)> apply;
        bool wanted = true;
    };
    void apply();
    std::vector<Entry> entries_;
};
