// atlys-sim: a simulated Atlys board on a pseudo-terminal, for running the
// panel without the hardware. Runs until SIGINT or SIGTERM.

#include "board_sim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <csignal>
#include <pthread.h>

namespace {

using atlys::sim::BoardSim;
using atlys::sim::CodecReadiness;
using atlys::sim::Event;
using atlys::sim::Fault;
using atlys::sim::PortBehaviour;

constexpr int kUsageError = 2;

const char kUsage[] =
    "usage: atlys-sim [--config barebone|codec|0xID] [--codec-ready WHEN] [--link PATH]\n"
    "                 [--verbose] [--fault PORT:MODE[:MS]]... [--help]\n"
    "\n"
    "Plays an Atlys board on a pseudo-terminal and prints the slave device.\n"
    "  --config   board configuration answered on port 15: barebone (0x20161700),\n"
    "             codec (0x20161701) or any id in hexadecimal (default barebone);\n"
    "             the codec board also plays its audio codec on ports 2, 3 and 15\n"
    "  --codec-ready WHEN\n"
    "             when the codec's ready flag (port 2, bit 0) is set: now, second\n"
    "             (from the second read of port 2 on), never, or silent (port 2\n"
    "             answers nothing); default now; needs --config codec\n"
    "  --link     keep a symlink at PATH pointing at the slave device\n"
    "  --verbose  print every frame received and every codec register write\n"
    "  --fault    make reads of PORT (0-15) misbehave; MODE is silent (no answer),\n"
    "             short (3 bytes), long (5 bytes) or delay (answer after MS ms);\n"
    "             may be given once per port\n";

struct Options {
    std::uint32_t config_id = atlys::sim::kBareboneId;
    CodecReadiness codec_ready = CodecReadiness::now;
    bool codec_ready_given = false;
    std::string link;
    bool verbose = false;
    std::map<unsigned, PortBehaviour> faults;
};

bool parse_unsigned(const std::string &text, int base, unsigned long max, unsigned long &out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value > max)
        return false;
    out = value;
    return true;
}

bool parse_config(const std::string &text, std::uint32_t &id)
{
    if (text == "barebone") {
        id = atlys::sim::kBareboneId;
        return true;
    }
    if (text == "codec") {
        id = atlys::sim::kAudioCodecId;
        return true;
    }
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    unsigned long value = 0;
    if (digits.empty() || digits.size() > 8 || !parse_unsigned(digits, 16, 0xFFFFFFFFul, value))
        return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

bool parse_codec_ready(const std::string &text, CodecReadiness &readiness)
{
    static const std::map<std::string, CodecReadiness> names = {
        {"now", CodecReadiness::now},
        {"second", CodecReadiness::second},
        {"never", CodecReadiness::never},
        {"silent", CodecReadiness::silent},
    };
    const auto found = names.find(text);
    if (found == names.end())
        return false;
    readiness = found->second;
    return true;
}

const char *codec_ready_name(CodecReadiness readiness)
{
    switch (readiness) {
    case CodecReadiness::now:
        return "now";
    case CodecReadiness::second:
        return "second";
    case CodecReadiness::never:
        return "never";
    case CodecReadiness::silent:
        return "silent";
    }
    return "";
}

// PORT:MODE[:MS], e.g. 4:silent, 2:delay:300.
bool parse_fault(const std::string &text, unsigned &port, PortBehaviour &behaviour)
{
    const auto first = text.find(':');
    if (first == std::string::npos)
        return false;
    const auto second = text.find(':', first + 1);
    const std::string mode = text.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    unsigned long number = 0;
    if (!parse_unsigned(text.substr(0, first), 10, 15, number))
        return false;
    port = static_cast<unsigned>(number);
    behaviour = PortBehaviour{};
    if (mode == "delay") {
        if (second == std::string::npos ||
            !parse_unsigned(text.substr(second + 1), 10, 3600 * 1000ul, number))
            return false;
        behaviour.fault = Fault::delayed;
        behaviour.delay = std::chrono::milliseconds{number};
        return true;
    }
    if (second != std::string::npos)
        return false; // only a delay takes a time
    if (mode == "silent")
        behaviour.fault = Fault::silent;
    else if (mode == "short")
        behaviour.fault = Fault::short_reply;
    else if (mode == "long")
        behaviour.fault = Fault::long_reply;
    else
        return false;
    return true;
}

int usage_error(const std::string &message)
{
    std::fprintf(stderr, "atlys-sim: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
}

const char *fault_note(Fault fault)
{
    switch (fault) {
    case Fault::none:
        return "";
    case Fault::silent:
        return " (not answered)";
    case Fault::short_reply:
        return " (3 bytes answered)";
    case Fault::long_reply:
        return " (5 bytes answered)";
    case Fault::delayed:
        return " (answered late)";
    }
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool has_value = false;
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.erase(equals);
            has_value = true;
        }
        const auto take_value = [&]() {
            if (has_value)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--verbose" || arg == "-v") {
            if (has_value)
                return usage_error("--verbose takes no value");
            options.verbose = true;
        } else if (arg == "--config") {
            if (!take_value())
                return usage_error("--config needs a value");
            if (!parse_config(value, options.config_id))
                return usage_error("bad configuration '" + value + "'");
        } else if (arg == "--codec-ready") {
            if (!take_value())
                return usage_error("--codec-ready needs now, second, never or silent");
            if (!parse_codec_ready(value, options.codec_ready))
                return usage_error("bad codec ready behaviour '" + value + "'");
            options.codec_ready_given = true;
        } else if (arg == "--link") {
            if (!take_value() || value.empty())
                return usage_error("--link needs a path");
            options.link = value;
        } else if (arg == "--fault") {
            if (!take_value())
                return usage_error("--fault needs PORT:MODE[:MS]");
            unsigned port = 0;
            PortBehaviour behaviour;
            if (!parse_fault(value, port, behaviour))
                return usage_error("bad fault '" + value + "'");
            if (!options.faults.emplace(port, behaviour).second)
                return usage_error("port " + std::to_string(port) + " has two faults");
        } else {
            return usage_error("unknown argument '" + arg + "'");
        }
    }

    const bool codec = options.config_id == atlys::sim::kAudioCodecId;
    if (options.codec_ready_given && !codec)
        return usage_error("--codec-ready needs --config codec");

    // The signals are taken by sigwait below; blocked before the simulator's
    // thread starts, so that thread inherits the mask and never takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    BoardSim sim(options.config_id);
    sim.set_codec_ready_script(atlys::sim::codec_script(options.codec_ready));
    for (const auto &[port, behaviour] : options.faults)
        sim.set_behaviour(port, behaviour);
    if (options.verbose) {
        const auto faults = options.faults;
        sim.set_event_callback([faults](const Event &event) {
            switch (event.kind) {
            case Event::Kind::write:
                std::printf("write port %u value 0x%08X\n", event.port,
                            static_cast<unsigned>(event.value));
                break;
            case Event::Kind::read: {
                const auto fault = faults.find(event.port);
                const char *note = !event.answered         ? fault_note(Fault::silent)
                                   : fault == faults.end() ? ""
                                                           : fault_note(fault->second.fault);
                std::printf("read port %u -> 0x%08X%s\n", event.port,
                            static_cast<unsigned>(event.value), note);
                break;
            }
            case Event::Kind::codec_write:
                std::printf("codec register %u <- 0x%04X\n", static_cast<unsigned>(event.index),
                            static_cast<unsigned>(event.value));
                break;
            case Event::Kind::stray:
                std::printf("stray byte 0x%02X\n", static_cast<unsigned>(event.byte));
                break;
            }
            std::fflush(stdout);
        });
    }

    if (!sim.start(options.link)) {
        std::fprintf(stderr, "atlys-sim: cannot open a pseudo-terminal%s%s\n",
                     options.link.empty() ? "" : " or create the link ", options.link.c_str());
        return 1;
    }
    std::string notes;
    if (!options.link.empty())
        notes += " (link " + options.link + ")";
    if (codec)
        notes += std::string(" (codec ready: ") + codec_ready_name(options.codec_ready) + ")";
    std::printf("atlys-sim: board 0x%08X on %s%s\n", static_cast<unsigned>(options.config_id),
                sim.slave_path().c_str(), notes.c_str());
    std::fflush(stdout);

    int signal_number = 0;
    while (sigwait(&stop_signals, &signal_number) != 0) {
    }
    sim.stop();
    return 0;
}
