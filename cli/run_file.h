#pragma once
// The run-file language: one command per line, read whole before the board
// is touched, so a bad line is reported (with its number) before anything
// is sent.
//
//   write PORT VALUE              send VALUE to PORT
//   read PORT...                  read ports, print their values
//   expect PORT [& MASK] == VALUE stop unless (port value AND MASK) == VALUE
//   expect PORT [& MASK] != VALUE stop unless it differs
//   sleep MS                      pause MS milliseconds
//   # ...                         comment (also after a command); blank lines are skipped
//
// Words are separated by white space; "&", "==" and "!=" need none around
// them (expect 4&0x1==1). Numbers are read as on the command line
// (read_value: the panel's entry, 0x always hexadecimal).
//
// Execution goes through PortAccess, so the language is tested without a board.

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace atlys::cli {

struct Statement {
    enum class Kind { write, read, expect, sleep } kind = Kind::read;
    std::vector<unsigned> ports;        // read: one or more; write and expect: one
    std::uint32_t value = 0;            // write: sent; expect: compared with
    std::optional<std::uint32_t> mask;  // expect: "& MASK"
    bool equal = true;                  // expect: "==" (true) or "!=" (false)
    std::chrono::milliseconds pause{0}; // sleep
    int line = 0;                       // 1-based line number in the file
};

// One line. Nothing and no error for a blank or comment line.
struct LineParse {
    std::optional<Statement> statement;
    std::string error;
};
LineParse parse_line(const std::string &text, bool hex);

struct ScriptParse {
    std::vector<Statement> statements;
    int error_line = 0; // 0 when the whole file is good
    std::string error;
    bool ok() const { return error_line == 0; }
};
// Stops at the first bad line.
ScriptParse parse_script(std::istream &in, bool hex);

// What execution needs from the board.
class PortAccess {
public:
    virtual ~PortAccess() = default;
    virtual bool write(unsigned port, std::uint32_t value) = 0;   // false: nothing was sent
    virtual std::optional<std::uint32_t> read(unsigned port) = 0; // nullopt: no answer
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

struct RunOutcome {
    int exit_code = 0; // kExitSuccess, kExitExpectationFailed or kExitNoAnswer
    int line = 0;      // the line that stopped the run
    std::string message;
};

// Runs the statements in order and stops at the first that fails;
// `on_read` gets every value a read line fetched.
RunOutcome run_script(const std::vector<Statement> &statements, PortAccess &board,
                      const std::function<void(unsigned port, std::uint32_t value)> &on_read);

} // namespace atlys::cli
