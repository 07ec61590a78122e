#include "arguments.h"

#include "port_values.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace atlys::cli {

namespace {

struct CommandName {
    Command command;
    const char *name;
};

constexpr CommandName kCommandNames[] = {
    {Command::id, "id"},
    {Command::read, "read"},
    {Command::write, "write"},
    {Command::scan, "scan"},
    {Command::codec_write, "codec-write"},
    {Command::watch, "watch"},
    {Command::run, "run"},
};

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Strict decimal for counts and durations: digits only, within `max`.
std::optional<unsigned long long> read_count(const std::string &text, unsigned long long max)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    unsigned long long n = 0;
    for (const char c : text) {
        if (!is_digit(c))
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > max)
        return std::nullopt;
    return n;
}

bool looks_like_option(const std::string &word)
{
    if (word.size() < 2 || word[0] != '-')
        return false;
    return !is_digit(word[1]); // -1 is a value
}

// Options that take a value, and which commands accept them.
enum class Opt { port, baud, log, port_list, interval, hex, dec, json, all, no_identify, help };

struct OptionName {
    Opt opt;
    const char *name;
    bool takes_value;
};

constexpr OptionName kOptionNames[] = {
    {Opt::port, "--port", true},         {Opt::baud, "--baud", true},
    {Opt::log, "--log", true},           {Opt::port_list, "--port-list", true},
    {Opt::interval, "--interval", true}, {Opt::hex, "--hex", false},
    {Opt::dec, "--dec", false},          {Opt::json, "--json", false},
    {Opt::all, "--all", false},          {Opt::no_identify, "--no-identify", false},
    {Opt::help, "--help", false},        {Opt::help, "-h", false},
};

struct Given {
    Opt opt;
    std::string name;
    std::string value;
};

// Commands that print port values (and so take --dec and --json).
bool prints_values(Command c)
{
    return c == Command::read || c == Command::watch || c == Command::run;
}

// Commands that read or write port values (and so take --hex and --no-identify).
bool uses_board_values(Command c)
{
    return c == Command::read || c == Command::write || c == Command::watch || c == Command::run ||
           c == Command::codec_write;
}

// Which options a command accepts besides --help; empty means fine.
std::string check_option(Command command, const Given &given)
{
    const auto refuse = [&] { return given.name + " does not apply to " + command_name(command); };
    switch (given.opt) {
    case Opt::port:
        return command == Command::scan
                   ? given.name + " does not apply to scan: it tries every port"
                   : std::string{};
    case Opt::baud:
    case Opt::log:
    case Opt::port_list:
    case Opt::help:
        return {};
    case Opt::interval:
        return command == Command::watch ? std::string{} : refuse();
    case Opt::all:
        return command == Command::scan ? std::string{} : refuse();
    case Opt::no_identify:
    case Opt::hex:
        return uses_board_values(command) ? std::string{} : refuse();
    case Opt::dec:
        return prints_values(command) ? std::string{} : refuse();
    case Opt::json:
        return prints_values(command) || command == Command::id || command == Command::scan
                   ? std::string{}
                   : refuse();
    }
    return {};
}

std::string positional_error(Command command, const std::vector<std::string> &words, Options &o)
{
    const std::string name = command_name(command);
    const auto count_error = [&](const char *shape) {
        return std::string("usage: atlys-cli ") + name + " " + shape;
    };
    const auto port_error = [](const std::string &w) {
        return "'" + w + "' is not a port: ports are 0 to 15";
    };
    switch (command) {
    case Command::none:
        return {};
    case Command::id:
    case Command::scan:
        if (!words.empty())
            return name + " takes no arguments ('" + words.front() + "')";
        return {};
    case Command::read:
    case Command::watch:
        if (words.empty())
            return count_error("PORT...");
        for (const std::string &w : words) {
            const auto port = read_port_number(w);
            if (!port)
                return port_error(w);
            o.ports.push_back(*port);
        }
        return {};
    case Command::write: {
        if (words.size() != 2)
            return count_error("PORT VALUE");
        const auto port = read_port_number(words[0]);
        if (!port)
            return port_error(words[0]);
        const auto value = read_value(words[1], o.hex_input);
        if (!value)
            return not_a_number_message(words[1], o.hex_input);
        o.ports = {*port};
        o.value = *value;
        return {};
    }
    case Command::codec_write: {
        if (words.size() != 2)
            return count_error("INDEX VALUE");
        const auto index = read_value(words[0], o.hex_input);
        if (!index)
            return not_a_number_message(words[0], o.hex_input);
        if (*index >= kCodecIndexLimit)
            return "codec register index '" + words[0] + "' is out of range: 0 to 31";
        const auto value = read_value(words[1], o.hex_input);
        if (!value)
            return not_a_number_message(words[1], o.hex_input);
        if (*value >= kCodecValueLimit)
            return "codec register value '" + words[1] + "' is out of range: 16 bits (0 to 0xFFFF)";
        o.codec_index = *index;
        o.value = *value;
        return {};
    }
    case Command::run:
        if (words.size() != 1)
            return count_error("FILE   (or - for standard input)");
        o.file = words[0];
        return {};
    }
    return {};
}

} // namespace

const char *command_name(Command command)
{
    for (const CommandName &c : kCommandNames) {
        if (c.command == command)
            return c.name;
    }
    return "atlys-cli";
}

std::optional<Command> command_from_name(const std::string &name)
{
    for (const CommandName &c : kCommandNames) {
        if (name == c.name)
            return c.command;
    }
    return std::nullopt;
}

std::optional<unsigned> read_port_number(const std::string &text)
{
    const auto n = read_count(text, 15);
    if (!n || text.size() > 2)
        return std::nullopt;
    return static_cast<unsigned>(*n);
}

std::optional<std::uint32_t> read_value(const std::string &text, bool hex)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const bool prefixed =
        i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    return parse_port_value(text, hex || prefixed);
}

std::string not_a_number_message(const std::string &text, bool hex)
{
    if (hex)
        return "'" + text + "' is not a hexadecimal number";
    return "'" + text + "' is not a decimal number (write 0x" + text + ", or give --hex)";
}

ParsedArguments parse_arguments(const std::vector<std::string> &args)
{
    ParsedArguments result;
    Options &o = result.options;
    std::vector<std::string> words;
    std::vector<Given> given;
    bool options_ended = false;

    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string &arg = args[k];
        if (options_ended || !looks_like_option(arg)) {
            if (o.command == Command::none) {
                // The first word names the command; "help COMMAND" asks for its help.
                if (arg == "help" && !o.help) {
                    o.help = true;
                    continue;
                }
                const auto command = command_from_name(arg);
                if (!command) {
                    result.error = "unknown command '" + arg +
                                   "' (commands: id, read, write, scan, codec-write, watch, run)";
                    return result;
                }
                o.command = *command;
            } else {
                words.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const OptionName *found = nullptr;
        for (const OptionName &candidate : kOptionNames) {
            if (name == candidate.name)
                found = &candidate;
        }
        if (found == nullptr) {
            result.error = "unknown option '" + name + "'";
            return result;
        }
        Given g{found->opt, name, {}};
        if (found->takes_value) {
            if (eq != std::string::npos) {
                g.value = arg.substr(eq + 1);
            } else if (k + 1 < args.size()) {
                g.value = args[++k];
            } else {
                result.error = name + " needs a value";
                return result;
            }
        } else if (eq != std::string::npos) {
            result.error = name + " takes no value";
            return result;
        }
        given.push_back(std::move(g));
    }

    for (const Given &g : given) {
        if (g.opt == Opt::help)
            o.help = true;
    }
    if (o.help)
        return result; // help ignores everything else
    if (o.command == Command::none) {
        result.error = "no command given (try atlys-cli --help)";
        return result;
    }

    bool dec = false;
    bool json = false;
    for (const Given &g : given) {
        if (std::string problem = check_option(o.command, g); !problem.empty()) {
            result.error = std::move(problem);
            return result;
        }
        switch (g.opt) {
        case Opt::port:
            if (g.value.empty()) {
                result.error = "--port needs a port name";
                return result;
            }
            o.port = g.value;
            break;
        case Opt::baud: {
            const auto n = read_count(g.value, std::numeric_limits<std::int32_t>::max());
            if (!n || *n == 0) {
                result.error = "--baud '" + g.value + "' is not a line speed (a positive number)";
                return result;
            }
            o.baud = static_cast<std::int32_t>(*n);
            break;
        }
        case Opt::log:
            o.log_file = g.value;
            break;
        case Opt::port_list:
            o.port_list = g.value;
            break;
        case Opt::interval: {
            const auto n = read_count(g.value, 3'600'000);
            if (!n || *n == 0) {
                result.error =
                    "--interval '" + g.value + "' is not a time in milliseconds (1 to 3600000)";
                return result;
            }
            o.interval = std::chrono::milliseconds{static_cast<long long>(*n)};
            break;
        }
        case Opt::hex:
            o.hex_input = true;
            break;
        case Opt::dec:
            dec = true;
            break;
        case Opt::json:
            json = true;
            break;
        case Opt::all:
            o.all = true;
            break;
        case Opt::no_identify:
            o.identify = false;
            break;
        case Opt::help:
            break;
        }
    }
    if (dec && json) {
        result.error = "--dec and --json exclude each other";
        return result;
    }
    o.style = json ? OutputStyle::json : dec ? OutputStyle::dec : OutputStyle::hex;
    result.error = positional_error(o.command, words, o);
    return result;
}

} // namespace atlys::cli
