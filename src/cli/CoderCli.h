// Shared body of the coder subcommands (base64, uu).
#pragma once

#include "Cli.h"
#include "Nmuue.h"

#include <algorithm>
#include <string>
#include <vector>

// Runs "<name> encode|decode" over standard input with the given method,
// block by block, so memory stays flat whatever the input's size (up to
// kCliMaxStream). Encoding gives exactly the coder's lines. Decoding reads
// lines of any length (a Base64 text on one line, as "base64 -w0" writes it,
// decodes whole); a CR before the LF is not part of the line.
// Returns the exit code; a failure throws CliFailure.
inline int runCoderCommand(const CliArgs& args, UUMethods method)
{
    const std::string& way = args.operands()[0];
    if (way != "encode" && way != "decode")
        throw CliUsageError("'" + way + "' is neither encode nor decode");
    CliInput input(kCliMaxStream);
    input.open("");
    CliOutput output;
    bool inputOk = true;

    if (way == "encode") {
        // Whole 45-byte groups per block, so the lines are those of one
        // encoding of the whole input; the uuencode closing line comes once,
        // at the end.
        std::string block(45 * 1456, '\0');
        for (;;) {
            const int64_t n = input.readFull(block.data(), block.size());
            if (n < 0) {
                inputOk = false;
                break;
            }
            if (n == 0)
                break;
            std::string lines = EncodeBuffer(block.substr(0, static_cast<size_t>(n)), method);
            if (method == uuCode)
                lines.resize(lines.size() - 3); // the closing line
            if (!output.add(lines))
                break;
            if (n < static_cast<int64_t>(block.size()))
                break;
        }
        if (inputOk && method == uuCode)
            output.add(std::string(1, UUTABLE[0]) + "\r\n");
    } else if (method == uuMime) {
        TBase64LineDecoder decoder;
        std::string bytes;
        inputOk = cliForEachLine(
            input,
            [&](const char* data, size_t count) {
                decoder.Feed(data, count, bytes);
                if (bytes.size() >= 65536) {
                    output.add(bytes);
                    bytes.clear();
                }
            },
            [&] { decoder.EndLine(bytes); });
        output.add(bytes);
    } else {
        // A uuencoded line says its length in its first character, so only
        // its first 85 characters can matter.
        std::string line;
        std::string bytes;
        bool skipNext = false;
        inputOk = cliForEachLine(
            input,
            [&](const char* data, size_t count) {
                if (line.size() < 128)
                    line.append(data, std::min(count, 128 - line.size()));
            },
            [&] {
                if (skipNext)
                    skipNext = false;
                else
                    skipNext = UuDecodeLine(line, bytes);
                line.clear();
                if (bytes.size() >= 65536) {
                    output.add(bytes);
                    bytes.clear();
                }
            });
        output.add(bytes);
    }

    if (!inputOk) {
        output.flush();
        throw CliFailure(input.error());
    }
    output.finish();
    return 0;
}

// The command information of "base64" and "uu".
inline CliCommandInfo cliCoderInfo(const char* name, const char* summary)
{
    return {.name = name, .operands = "encode|decode", .minOperands = 1, .maxOperands = 1, .summary = summary};
}
