// The outcome of a request in the tests of this folder: the exception's type
// (the most derived of the ones the client raises) and message, "" when none
// was raised; or the message of the one exception a call must raise.
#pragma once

#include "Nmhttp.h"

#include <functional>
#include <string>

inline std::string outcomeOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ETimeOutError& e) {
        return "ETimeOutError " + e.Message;
    } catch (const ECancelError& e) {
        return "ECancelError " + e.Message;
    } catch (const EAbortError& e) {
        return "EAbortError " + e.Message;
    } catch (const ECertificateError& e) {
        return "ECertificateError " + e.Message;
    } catch (const ESockError& e) {
        return "ESockError " + e.Message;
    } catch (const EConvertError& e) {
        return "EConvertError " + e.Message;
    } catch (const ERangeError&) {
        return "ERangeError";
    } catch (const Exception& e) {
        return "Exception " + e.Message;
    }
    return "";
}

// The message of the exception f raises, which must be an E.
template <class E = Exception, class F>
std::string messageOf(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message;
    }
    return "<no exception>";
}
