// Shared by the subcommands that read a page (scan, links, count): the
// engine names and loading FILE (or standard input) into a page buffer.
#pragma once

#include "Cli.h"
#include "PageBuffer.h"
#include "Engines.h"

// "google" or "altavista"; reports anything else (or nothing) and returns
// false.
inline bool cliParseEngine(const std::string& command, const std::string& name, TEngine& engine)
{
    if (name == "google")
        engine = TEngine::Google;
    else if (name == "altavista")
        engine = TEngine::AltaVista;
    else {
        cliError(command + (name.empty() ? ": --engine google|altavista is required"
                                         : ": unknown engine '" + name + "' (google or altavista)"));
        return false;
    }
    return true;
}

// Places the file's bytes (standard input when there is no file) in the page
// buffer. A zero byte ends the page, so reading stops there; a page larger
// than kCliMaxInput is refused. Returns 0, or the exit code after reporting
// the failure: 2 when the input cannot be read, 1 when it is too large.
inline int cliLoadPage(const std::vector<std::string>& positional, TPageBuffer& page)
{
    std::string data, error;
    bool tooLarge = false;
    if (!cliReadInput(positional.empty() ? std::string() : positional[0], data, error, kCliMaxInput, true,
                      &tooLarge)) {
        cliError(error);
        return tooLarge ? 1 : 2;
    }
    page.SetText(std::move(data));
    return 0;
}
