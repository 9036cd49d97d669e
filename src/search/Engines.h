// The search engines the program knows, as one table: how the engine
// selector names each, where its queries go and how they are written, and
// how its answers are read (markers in an HTML result page, or paths in a
// JSON answer). Adding another JSON search API is one more row.
#pragma once

#include <string>
#include <vector>

enum class TEngine { None, Google, AltaVista, SearXNG, Mojeek };

// The selector entries of the two page engines: each engine's home address.
inline const std::string kGoogleEntry = "http://www.google.com";
inline const std::string kAltaVistaEntry = "http://www.altavista.com";
inline const std::string kSearxngEntry = "SearXNG";
inline const std::string kMojeekEntry = "Mojeek";

// Where a self-hosted SearXNG is looked for unless Options says otherwise.
inline const std::string kSearxngDefaultAddress = "http://127.0.0.1:8888/";

// What the program looks for on a result page of an HTML engine: the text in
// front of every result link, a text that every link to the engine's own
// pages holds, and the text in front of the result total. All empty for no
// engine and for the JSON engines.
struct TEngineMarkers {
    std::string link;
    std::string ownDomain;
    std::string count;
};

// Where a JSON answer keeps what the program reads. Paths are object keys
// joined by ".".
struct TJsonShape {
    std::string results;  // the array of results
    std::string url;      // in each result, its link
    std::string total;    // the engine's total of results, a number
    std::string status;   // a status text ("" when the engine has none)
    std::string statusOk; // the status text of a good answer
    // Shown for an answer with status 403 ("" for a general text).
    std::string forbidden;
};

enum class TResultShape { Markers, Json };

// How the key words enter a query: blanks become "+" and every other byte
// stays (Plus), or the words are percent-encoded as a query value (Percent).
enum class TWordsCoding { Plus, Percent };

// One engine. A query URL is the base address, then query (or domainQuery
// under a domain restriction), then laterPages for every page but the
// first. In them {words} is the coded key words, {domain} the domain
// restriction, {key} the API key, {offset} the page offset (the links
// gathered so far plus the page skip; 0 for the first page), {start} the
// offset plus one, {page} the page number counted from 1. Under a domain
// restriction, wordsWithDomain is added to the key words before coding.
struct TEngineRow {
    TEngine engine;
    std::string name;  // corvina-cli's name for it
    std::string entry; // the engine selector's text
    std::string base;  // default base address, ending in "/"
    std::string query;
    std::string domainQuery;
    std::string wordsWithDomain;
    std::string laterPages;
    TWordsCoding coding;
    TResultShape shape;
    TEngineMarkers markers;
    TJsonShape json;
    bool needsKey;
};

inline const std::vector<TEngineRow>& EngineTable()
{
    static const std::vector<TEngineRow> table = {
        {TEngine::Google, "google", kGoogleEntry, "http://www.google.com/", "search?q={words}",
         "search?as_q={words}&as_sitesearch={domain}", "", "&start={offset}", TWordsCoding::Plus,
         TResultShape::Markers, {"<a href=http", "google", "</b> di circa <b>"}, {}, false},
        {TEngine::AltaVista, "altavista", kAltaVistaEntry, "http://www.altavista.com/", "web/results?q={words}",
         "web/results?pg=aq&aqmode=s&aqa={words}&rc=dmn&swd={domain}", "", "&stq={offset}", TWordsCoding::Plus,
         TResultShape::Markers, {"status='http://", "altavista", ">AltaVista ha trovato "}, {}, false},
        {TEngine::SearXNG, "searxng", kSearxngEntry, kSearxngDefaultAddress, "search?q={words}&format=json&pageno={page}",
         "search?q={words}&format=json&pageno={page}", " site:{domain}", "", TWordsCoding::Percent,
         TResultShape::Json, {},
         {"results", "url", "number_of_results", "", "",
          "The SearXNG instance does not answer in JSON (HTTP 403): add json to its formats in settings.yml "
          "(search: formats: [html, json]) and restart it."},
         false},
        {TEngine::Mojeek, "mojeek", kMojeekEntry, "https://api.mojeek.com/",
         "search?api_key={key}&q={words}&fmt=json&s={start}&t=10",
         "search?api_key={key}&q={words}&fmt=json&s={start}&t=10&site={domain}", "", "", TWordsCoding::Percent,
         TResultShape::Json, {}, {"response.results", "url", "response.head.results", "response.status", "OK", ""},
         true},
    };
    return table;
}

// The row of an engine; nullptr for none.
inline const TEngineRow* EngineRow(TEngine engine)
{
    for (const TEngineRow& row : EngineTable())
        if (row.engine == engine)
            return &row;
    return nullptr;
}

// The engine in use is decided from the selector's whole text, letter case
// included; any other text names no engine.
inline TEngine EngineInUse(const std::string& selectorText)
{
    for (const TEngineRow& row : EngineTable())
        if (row.entry == selectorText)
            return row.engine;
    return TEngine::None;
}

// The engine corvina-cli names so ("google", "searxng", ...); None for
// another name.
inline TEngine EngineNamed(const std::string& name)
{
    for (const TEngineRow& row : EngineTable())
        if (row.name == name)
            return row.engine;
    return TEngine::None;
}

inline const TEngineMarkers& EngineMarkers(TEngine engine)
{
    static const TEngineMarkers none;
    const TEngineRow* row = EngineRow(engine);
    return row ? row->markers : none;
}
