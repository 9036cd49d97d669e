// Shared by the subcommands that read a page (links, count): the engine
// option and loading FILE (or standard input) into a page buffer.
#pragma once

#include "Cli.h"
#include "PageBuffer.h"
#include "Engines.h"

// The --engine row of links and count.
inline const CliOption kCliEngineOption{"--engine", "google|altavista", "the engine whose result page it is",
                                        CliOption::Required};

// "google" or "altavista"; anything else (or nothing) is misuse.
inline TEngine cliParseEngine(const std::string& name)
{
    if (name == "google")
        return TEngine::Google;
    if (name == "altavista")
        return TEngine::AltaVista;
    throw CliUsageError(name.empty() ? "--engine google|altavista is required"
                                     : "unknown engine '" + name + "' (google or altavista)");
}

// Places the file's bytes (standard input when there is no file) in the page
// buffer. A zero byte ends the page, so reading stops there; a page larger
// than kCliMaxInput is refused. A regular file is mapped rather than read.
// Throws CliFailure with status 2 when the input cannot be read, 1 when it
// is too large.
inline void cliLoadPage(const std::string& path, TPageBuffer& page)
{
    if (std::optional<CliMappedFile> mapped = cliMapFile(path, kCliMaxInput)) {
        page.SetSharedText(mapped->bytes, std::move(mapped->keeper));
        return;
    }
    std::string data, error;
    bool tooLarge = false;
    if (!cliReadInput(path, data, error, kCliMaxInput, true, &tooLarge))
        throw CliFailure(error, tooLarge ? 1 : 2);
    page.SetZeroFreeText(std::move(data));
}
