// The commands: a Session owns the board link (with the transfer log on its
// line), reads the connection settings as the panel does, connects and
// identifies; each command then uses the link's own port operations.

#include "commands.h"

#include "board_link.h"
#include "config_file.h"
#include "exit_codes.h"
#include "output_format.h"
#include "run_file.h"
#include "system_ports.h"
#include "text_format.h"
#include "transfer_log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace atlys::cli {

namespace {

constexpr auto kReconnectPause = std::chrono::milliseconds{500};
constexpr std::uint32_t kScanFirst = 1;
constexpr std::uint32_t kScanLimit = 30; // COM1 to COM29, as the panel's scan
constexpr const char *kConfigMissing = "Error: can't open file 'config.dat'\n";
constexpr const char *kCodecNotReady = "Timeout waiting for RDY=1";

void error_line(const std::string &text)
{
    std::fflush(stdout); // what was printed before the error comes first on a terminal
    std::fprintf(stderr, "atlys-cli: %s\n", text.c_str());
}

void print_line(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
}

// The link's view: the port field holds the name to open; log lines and
// the read status are kept for the command to look at.
class CliView final : public LinkView {
public:
    void log_line(const std::string &text) override { lines.push_back(text); }
    void set_read_status(bool ok) override { last_read_ok = ok; }
    std::string port_text() const override { return field; }
    void set_port_text(const std::string &text) override { field = text; }

    bool logged(const std::string &text) const
    {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }

    std::vector<std::string> lines;
    bool last_read_ok = false;
    std::string field = kDefaultPortName;
};

// Ends watch on SIGINT or SIGTERM: the handler writes to a pipe that every
// wait polls, so a signal between two checks is never missed.
class StopSignal {
public:
    StopSignal()
    {
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
            pipe_[0] = pipe_[1] = -1;
        write_end_ = pipe_[1];
        struct sigaction action {};
        action.sa_handler = &StopSignal::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: a wait ends at once
        ::sigaction(SIGINT, &action, &old_int_);
        ::sigaction(SIGTERM, &action, &old_term_);
    }
    ~StopSignal()
    {
        ::sigaction(SIGINT, &old_int_, nullptr);
        ::sigaction(SIGTERM, &old_term_, nullptr);
        write_end_ = -1;
        for (int fd : pipe_) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    StopSignal(const StopSignal &) = delete;
    StopSignal &operator=(const StopSignal &) = delete;

    // Waits up to `duration`; true when a stop was asked for (before or during the wait).
    bool wait(std::chrono::milliseconds duration) const
    {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{pipe_[0], POLLIN, 0};
            const int ready =
                ::poll(&pfd, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready > 0)
                return true;
            if (ready == 0)
                return false;
            if (errno != EINTR)
                return false;
        }
    }
    bool requested() const { return wait(std::chrono::milliseconds{0}); }

private:
    static void handle(int)
    {
        const int saved = errno;
        const char byte = 1;
        if (write_end_ >= 0)
            (void)!::write(write_end_, &byte, 1);
        errno = saved;
    }

    static inline volatile int write_end_ = -1;
    int pipe_[2] = {-1, -1};
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

enum class Connect { ok, cannot_open, no_answer, unknown_board };

class Session {
public:
    explicit Session(const Options &options) : options_(options) {}
    ~Session()
    {
        if (log_ != nullptr)
            std::fclose(log_);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The port list, the log file and the connection settings; exit code on failure.
    int setup()
    {
        PortLister lister = [] { return list_sysfs_ports(); };
        if (options_.port_list) {
            const auto listed = read_port_list(*options_.port_list);
            if (!listed) {
                error_line("can't read the port list '" + *options_.port_list + "'");
                return kExitUsage;
            }
            lister = [ports = *listed] { return ports; };
        }
        if (options_.log_file) {
            log_ = std::fopen(options_.log_file->c_str(), "ae");
            if (log_ == nullptr) {
                error_line("can't open the log file '" + *options_.log_file +
                           "': " + std::strerror(errno));
                return kExitUsage;
            }
        }
        auto line = std::make_unique<ObservedLine>(make_posix_serial_line(),
                                                   [this](const Transfer &t) { log_transfer(t); });
        line_ = line.get();
        link_ = std::make_unique<BoardLink>(std::move(line), std::move(lister));
        link_->attach_view(&view_);

        // config.dat is read by the link itself, exactly as the panel reads it.
        link_->load_config();
        if (!options_.port) {
            for (const std::string &text : view_.lines) {
                if (text != kConfigMissing)
                    error_line("warning: " + text.substr(text.rfind("Error: ", 0) == 0 ? 7 : 0));
            }
        }
        view_.lines.clear();
        if (options_.port)
            view_.field = *options_.port;
        if (options_.baud)
            link_->set_baud_rate(*options_.baud);
        return kExitSuccess;
    }

    // Opens the port named in the field and, when asked, identifies the board.
    Connect connect(bool identify)
    {
        view_.lines.clear();
        if (!link_->open_serial_port())
            return Connect::cannot_open;
        if (!identify || link_->identify_hw())
            return Connect::ok;
        const bool answered = view_.last_read_ok;
        link_->close_serial_port();
        return answered ? Connect::unknown_board : Connect::no_answer;
    }

    // Reports a failed connection on standard error; the exit code.
    int report(Connect outcome)
    {
        switch (outcome) {
        case Connect::ok:
            return kExitSuccess;
        case Connect::cannot_open:
            error_line("can't open serial port " + open_failure());
            return kExitCannotOpen;
        case Connect::no_answer:
            error_line("no answer from the board on " + shown_name() +
                       ": port 15 did not answer within 600 ms (wrong port or speed?)");
            return kExitNoAnswer;
        case Connect::unknown_board:
            error_line(format("unknown board on %s: port 15 reads 0x%08X, which is no known "
                              "configuration",
                              shown_name().c_str(), link_->hw_id()));
            return kExitUnknownBoard;
        }
        return kExitSuccess;
    }

    // The name being used, with the device a COM name designates.
    std::string shown_name() const
    {
        std::string name = view_.field;
        if (!com_number(name))
            return name;
        const auto device = resolve_port_name(name, link_->list_ports());
        return device ? name + " (" + *device + ")" : name;
    }

    const hw_config &board() const { return hw_config_table[link_->hw_index()]; }
    BoardLink &link() { return *link_; }
    CliView &view() { return view_; }
    ObservedLine &line() { return *line_; }

private:
    void log_transfer(const Transfer &transfer)
    {
        if (log_ == nullptr)
            return;
        std::fprintf(log_, "%s %s\n", timestamp(std::chrono::system_clock::now()).c_str(),
                     transfer_text(transfer).c_str());
        std::fflush(log_);
    }

    // "COM3: the system lists 2 serial ports" / "/dev/x: no such device".
    std::string open_failure() const
    {
        const std::string name = view_.field;
        if (name.empty())
            return "'': the port name is empty";
        if (name.size() > kMaxPortNameLength)
            return format("(%zu characters): the name is too long, at most %zu", name.size(),
                          kMaxPortNameLength);
        const auto ports = link_->list_ports();
        const auto device = resolve_port_name(name, ports);
        if (!device)
            return format("%s: no such port, the system lists %zu serial port%s", name.c_str(),
                          ports.size(), ports.size() == 1 ? "" : "s");
        const std::string shown = *device == name ? name : name + " (" + *device + ")";
        if (::access(device->c_str(), F_OK) != 0)
            return shown + ": no such device";
        if (::access(device->c_str(), R_OK | W_OK) != 0)
            return shown + ": permission denied (serial devices belong to the dialout group)";
        return shown + ": it is not a serial line, or another program holds it";
    }

    const Options &options_;
    CliView view_;
    std::unique_ptr<BoardLink> link_;
    ObservedLine *line_ = nullptr;
    std::FILE *log_ = nullptr;
};

// A session connected for a command; the exit code when that failed.
int start(Session &session, bool identify)
{
    if (const int code = session.setup(); code != kExitSuccess)
        return code;
    return session.report(session.connect(identify));
}

int command_id(const Options &o)
{
    Session session(o);
    if (const int code = start(session, true); code != kExitSuccess)
        return code;
    const hw_config &board = session.board();
    print_line(board_line(board.name, board.id, board.codec == 1, o.style));
    return kExitSuccess;
}

int command_read(const Options &o)
{
    Session session(o);
    if (const int code = start(session, o.identify); code != kExitSuccess)
        return code;
    for (const unsigned port : o.ports) {
        std::uint32_t value = 0;
        if (session.link().read_port(value, port) != kDone) {
            error_line(format("port %u did not answer within 600 ms", port));
            return kExitNoAnswer;
        }
        print_line(read_line(port, value, o.style));
    }
    return kExitSuccess;
}

int command_write(const Options &o)
{
    Session session(o);
    if (const int code = start(session, o.identify); code != kExitSuccess)
        return code;
    if (session.link().write_port(o.value, o.ports[0]) != kDone) {
        error_line(
            format("nothing was sent to port %u: writing to the serial line failed", o.ports[0]));
        return kExitNoAnswer;
    }
    return kExitSuccess;
}

int command_codec_write(const Options &o)
{
    Session session(o);
    if (const int code = start(session, o.identify); code != kExitSuccess)
        return code;
    if (o.identify && session.board().codec != 1) {
        error_line("the board on " + session.shown_name() + " is '" + session.board().name +
                   "', which has no audio codec");
        return kExitUnknownBoard;
    }
    session.view().lines.clear();
    session.line().clear_write_failed();
    session.link().write_codec_register(o.codec_index, o.value);
    if (session.view().logged(kCodecNotReady)) {
        error_line("the codec did not become ready (RDY, bit 0 of port 2, stayed 0): nothing "
                   "was written");
        return kExitNoAnswer;
    }
    if (session.line().write_failed()) {
        error_line("writing to the serial line failed: the register may not be written");
        return kExitNoAnswer;
    }
    return kExitSuccess;
}

int command_scan(const Options &o)
{
    Session session(o);
    if (const int code = session.setup(); code != kExitSuccess)
        return code;
    bool found = false;
    bool unknown = false;
    bool opened = false;
    std::set<std::string> tried;
    const auto attempt = [&](const std::string &name, const std::string &device) {
        tried.insert(device);
        session.view().field = name;
        const Connect outcome = session.connect(true);
        if (outcome == Connect::cannot_open)
            return;
        opened = true;
        if (outcome == Connect::unknown_board) {
            unknown = true;
            error_line(format("%s %s: unknown board, port 15 reads 0x%08X", name.c_str(),
                              device.c_str(), session.link().hw_id()));
            return;
        }
        if (outcome == Connect::ok) {
            found = true;
            const hw_config &board = session.board();
            print_line(scan_line(name, device, board.name, board.id, board.codec == 1, o.style));
            std::fflush(stdout);
        }
        session.link().close_serial_port();
    };

    const std::vector<PortInfo> ports = session.link().list_ports();
    for (std::uint32_t n = kScanFirst; n < kScanLimit; ++n) {
        const std::string name = format("COM%u", n);
        if (const auto device = resolve_port_name(name, ports))
            attempt(name, *device);
    }
    if (o.all) {
        for (const PortInfo &port : ports) {
            if (tried.count(port.device) == 0)
                attempt(port.device, port.device);
        }
    }
    if (found)
        return kExitSuccess;
    if (unknown)
        return kExitUnknownBoard;
    error_line(opened ? "no board answered on any port" : "no serial port could be opened");
    return opened ? kExitNoAnswer : kExitCannotOpen;
}

int command_watch(const Options &o)
{
    const StopSignal stop;
    Session session(o);
    if (const int code = start(session, o.identify); code != kExitSuccess)
        return code;
    std::vector<std::optional<std::uint32_t>> last(o.ports.size());
    while (!stop.requested()) {
        std::optional<unsigned> silent;
        for (std::size_t k = 0; k < o.ports.size() && !silent; ++k) {
            std::uint32_t value = 0;
            if (session.link().read_port(value, o.ports[k]) != kDone) {
                silent = o.ports[k];
                break;
            }
            if (last[k] != value) {
                print_line(watch_line(timestamp(std::chrono::system_clock::now()), o.ports[k],
                                      value, o.style));
                last[k] = value;
            }
        }
        std::fflush(stdout);
        if (!silent) {
            stop.wait(o.interval);
            continue;
        }
        // Lost: say so once, then try to open the port again until the board is back.
        session.link().close_serial_port();
        error_line(format("lost the board on %s: port %u did not answer; trying to open it "
                          "again every %lld ms",
                          session.shown_name().c_str(), *silent,
                          static_cast<long long>(kReconnectPause.count())));
        while (!stop.wait(kReconnectPause)) {
            if (session.connect(o.identify) == Connect::ok) {
                error_line("the board is back on " + session.shown_name());
                break;
            }
        }
    }
    return kExitSuccess;
}

// The run file's port access through the link.
class LinkAccess final : public PortAccess {
public:
    explicit LinkAccess(BoardLink &link) : link_(link) {}
    bool write(unsigned port, std::uint32_t value) override
    {
        return link_.write_port(value, port) == kDone;
    }
    std::optional<std::uint32_t> read(unsigned port) override
    {
        std::uint32_t value = 0;
        if (link_.read_port(value, port) != kDone)
            return std::nullopt;
        return value;
    }
    void pause(std::chrono::milliseconds duration) override
    {
        std::this_thread::sleep_for(duration);
    }

private:
    BoardLink &link_;
};

int command_run(const Options &o)
{
    const bool from_stdin = o.file == "-";
    const std::string shown = from_stdin ? "<stdin>" : o.file;
    ScriptParse script;
    if (from_stdin) {
        script = parse_script(std::cin, o.hex_input);
    } else {
        std::ifstream in(o.file, std::ios::binary);
        if (!in.is_open()) {
            error_line("can't read the run file '" + o.file + "': " + std::strerror(errno));
            return kExitUsage;
        }
        script = parse_script(in, o.hex_input);
    }
    if (!script.ok()) {
        error_line(format("%s:%d: %s", shown.c_str(), script.error_line, script.error.c_str()));
        return kExitUsage;
    }

    Session session(o);
    if (const int code = start(session, o.identify); code != kExitSuccess)
        return code;
    LinkAccess access(session.link());
    const RunOutcome outcome =
        run_script(script.statements, access, [&](unsigned port, std::uint32_t value) {
            print_line(read_line(port, value, o.style));
        });
    if (outcome.exit_code != kExitSuccess)
        error_line(format("%s:%d: %s", shown.c_str(), outcome.line, outcome.message.c_str()));
    return outcome.exit_code;
}

} // namespace

int run_command(const Options &options)
{
    switch (options.command) {
    case Command::id:
        return command_id(options);
    case Command::read:
        return command_read(options);
    case Command::write:
        return command_write(options);
    case Command::scan:
        return command_scan(options);
    case Command::codec_write:
        return command_codec_write(options);
    case Command::watch:
        return command_watch(options);
    case Command::run:
        return command_run(options);
    case Command::none:
        break;
    }
    return kExitUsage;
}

} // namespace atlys::cli
