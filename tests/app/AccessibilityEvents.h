// Turns Qt's accessibility on while it lives, as a screen reader connecting
// over AT-SPI does, and records every accessibility event the program sends.
#pragma once

#include <QAccessible>
#include <QGuiApplication>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

#include <vector>

class AccessibilityEvents {
public:
    struct Event {
        QAccessible::Event type;
        QObject* object;
        int row;                   // the entry of a list, -1 otherwise
        QAccessible::State changed; // StateChanged: the states that changed
        QAccessible::State now;     // the object's states when sent
    };

    AccessibilityEvents()
    {
        recorded().clear();
        QAccessible::installUpdateHandler(&record);
        if (QPlatformAccessibility* a = QGuiApplicationPrivate::platformIntegration()->accessibility())
            a->setActive(true);
    }
    ~AccessibilityEvents()
    {
        if (QPlatformAccessibility* a = QGuiApplicationPrivate::platformIntegration()->accessibility())
            a->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    static bool active() { return QAccessible::isActive(); }
    // The events whose object is o, or whose object's parent (a list entry's
    // list) is o.
    std::vector<Event> about(QObject* o) const
    {
        std::vector<Event> out;
        for (const Event& e : recorded())
            if (e.object == o)
                out.push_back(e);
        return out;
    }

private:
    static std::vector<Event>& recorded()
    {
        static std::vector<Event> events;
        return events;
    }
    static void record(QAccessibleEvent* event)
    {
        QAccessibleInterface* iface = event->accessibleInterface();
        Event e{event->type(), event->object(), -1, {}, {}};
        if (iface) {
            e.now = iface->state();
            if (QAccessibleTableCellInterface* cell = iface->tableCellInterface()) {
                e.row = cell->rowIndex();
                if (iface->parent())
                    e.object = iface->parent()->object();
            }
        }
        if (event->type() == QAccessible::StateChanged)
            e.changed = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates();
        recorded().push_back(e);
    }
};
