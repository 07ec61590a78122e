#pragma once
// The exit codes of atlys-cli, one per outcome, so a script can tell them apart.

#include <array>

namespace atlys::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitExpectationFailed = 1; // run: an expect line did not hold
constexpr int kExitUsage = 2;             // bad arguments, bad run-file line, unreadable file
constexpr int kExitCannotOpen = 3;        // the serial port could not be opened
constexpr int kExitNoAnswer = 4;          // the board did not answer (or the line failed)
constexpr int kExitUnknownBoard = 5;      // port 15 answered an unknown id (or, for
                                          // codec-write, a board without the codec)

struct ExitCodeText {
    int code;
    const char *meaning;
};

// The table printed by --help and the README.
constexpr std::array<ExitCodeText, 6> kExitCodes = {{
    {kExitSuccess, "success"},
    {kExitExpectationFailed, "failed expectation (run: an expect line did not hold)"},
    {kExitUsage, "usage error (bad arguments or run-file line, unreadable file)"},
    {kExitCannotOpen, "cannot open the serial port"},
    {kExitNoAnswer, "board did not answer (read timed out, codec not ready, line failed)"},
    {kExitUnknownBoard, "unknown board (port 15 id is no known configuration;\n"
                        "     codec-write: the board has no audio codec)"},
}};

} // namespace atlys::cli
