#include "Busy.h"

#include <QAction>
#include <QLoggingCategory>
#include <QWidget>

Q_LOGGING_CATEGORY(lcBusy, "corvina.app.busy", QtWarningMsg)

TNetworkBusy& TNetworkBusy::Instance()
{
    static TNetworkBusy busy;
    return busy;
}

TNetworkBusy::Hold::Hold()
{
    if (Instance().depth_++ == 0)
        emit Instance().Changed(true);
}

TNetworkBusy::Hold::~Hold()
{
    if (--Instance().depth_ == 0)
        emit Instance().Changed(false);
}

std::optional<TNetworkBusy::Hold> TNetworkBusy::TryHold(const char* action)
{
    if (Busy()) {
        qCInfo(lcBusy, "%s not started: another network action is running", action);
        return std::nullopt;
    }
    return std::optional<Hold>(std::in_place);
}

TBusyGate::TBusyGate(QObject* parent) : QObject(parent)
{
    connect(&TNetworkBusy::Instance(), &TNetworkBusy::Changed, this, [this] { apply(); });
}

void TBusyGate::Add(QWidget* control)
{
    entries_.push_back({control, [control](bool on) { control->setEnabled(on); }, control->isEnabled()});
    apply();
}

void TBusyGate::Add(QAction* control)
{
    entries_.push_back({control, [control](bool on) { control->setEnabled(on); }, control->isEnabled()});
    apply();
}

void TBusyGate::SetEnabled(QObject* control, bool enabled)
{
    for (auto& e : entries_)
        if (e.control == control) {
            e.wanted = enabled;
            if (e.control)
                e.apply(enabled && !TNetworkBusy::Busy());
        }
}

bool TBusyGate::Wanted(QObject* control) const
{
    for (const auto& e : entries_)
        if (e.control == control)
            return e.wanted;
    return false;
}

void TBusyGate::apply()
{
    const bool busy = TNetworkBusy::Busy();
    for (auto& e : entries_)
        if (e.control)
            e.apply(e.wanted && !busy);
}
