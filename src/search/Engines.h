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

// What the program looks for on each engine's result pages: the text in
// front of every result link, a text that every link to the engine's own
// pages holds, and the text in front of the result total. All empty for no
// engine.
struct TEngineMarkers {
    std::string link;
    std::string ownDomain;
    std::string count;
};

inline const TEngineMarkers& EngineMarkers(TEngine engine)
{
    static const TEngineMarkers google{"<a href=http", "google", "</b> di circa <b>"};
    static const TEngineMarkers altavista{"status='http://", "altavista", ">AltaVista ha trovato "};
    static const TEngineMarkers none;
    switch (engine) {
    case TEngine::Google:
        return google;
    case TEngine::AltaVista:
        return altavista;
    default:
        return none;
    }
}
