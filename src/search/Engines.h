// The two search engines the program knows, as the engine selector names them.
#pragma once

#include <string>

enum class TEngine { None, Google, AltaVista };

// The selector entries: each engine's home address.
inline const std::string kGoogleEntry = "http://www.google.com";
inline const std::string kAltaVistaEntry = "http://www.altavista.com";

// The engine in use is decided from the selector's whole text, letter case
// included; any other text names no engine.
inline TEngine EngineInUse(const std::string& selectorText)
{
    if (selectorText == kGoogleEntry)
        return TEngine::Google;
    if (selectorText == kAltaVistaEntry)
        return TEngine::AltaVista;
    return TEngine::None;
}
