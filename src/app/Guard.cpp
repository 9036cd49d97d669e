#include "Guard.h"

namespace {

TEscapedErrorHandler& installedHandler()
{
    static TEscapedErrorHandler handler;
    return handler;
}

} // namespace

void SetEscapedErrorHandler(TEscapedErrorHandler handler)
{
    installedHandler() = std::move(handler);
}

void HandleEscapedError(QObject* Sender, const std::exception& E) noexcept
{
    try {
        if (installedHandler())
            installedHandler()(Sender, E);
    } catch (...) {
        // The handler itself failed: nothing sensible is left to do.
    }
}

void HandleUnknownEscapedError(QObject* Sender) noexcept
{
    try {
        HandleEscapedError(Sender, Exception("Unknown exception"));
    } catch (...) {
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleEscapedError(receiver, e);
    } catch (...) {
        HandleUnknownEscapedError(receiver);
    }
    return false;
}
