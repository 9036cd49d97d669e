// The one guard every control handler runs through.
//
// A handler that raises must never let the exception cross the Qt event
// loop. The guard catches whatever escapes and hands it to the installed
// handler for escaped errors (the main window's myException, which drops it);
// with no handler installed the error is dropped here.
#pragma once

#include "SysUtils.h"

#include <QApplication>
#include <QObject>

#include <exception>
#include <functional>
#include <utility>

using TEscapedErrorHandler = std::function<void(QObject* Sender, const std::exception& E)>;

// Installs (or, with an empty function, removes) the program-wide handler.
void SetEscapedErrorHandler(TEscapedErrorHandler handler);
// Hands an escaped error to the installed handler; never raises.
void HandleEscapedError(QObject* Sender, const std::exception& E) noexcept;
// Same for something that is not a std::exception.
void HandleUnknownEscapedError(QObject* Sender) noexcept;

// Runs f, catching everything that escapes it.
template <typename F>
void RunGuarded(QObject* Sender, F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        HandleEscapedError(Sender, e);
    } catch (...) {
        HandleUnknownEscapedError(Sender);
    }
}

// Connects a signal to a handler of the form void Handler(QObject* Sender),
// run through the guard with the signal's sender as Sender. The signal's own
// arguments are not passed on.
template <typename S, typename Signal, typename R>
QMetaObject::Connection ConnectHandler(S* sender, Signal signal, R* receiver, void (R::*handler)(QObject*))
{
    return QObject::connect(sender, signal, receiver, [sender, receiver, handler] {
        RunGuarded(sender, [&] { (receiver->*handler)(sender); });
    });
}

// Same for any callable.
template <typename S, typename Signal, typename F>
QMetaObject::Connection ConnectGuarded(S* sender, Signal signal, QObject* context, F f)
{
    return QObject::connect(sender, signal, context, [sender, f] { RunGuarded(sender, f); });
}

// The application object of the program: a backstop that catches what an
// event handler outside the guard lets escape, so nothing crosses the loop.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};
