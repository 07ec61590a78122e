#include "board_link.h"

#include "config_file.h"
#include "text_format.h"

#include <fstream>

namespace atlys {

const std::array<hw_config, kHwConfigSlots> hw_config_table = {{
    {"Atlys S6 QOR 2016/17 barebone", kBareboneId, 0},
    {"Atlys S6 QOR 2016/17 Audio Codec", kAudioCodecId, 1},
}};

namespace {
constexpr const char *kConfigFileError = "Error: can't open file 'config.dat'\n";
}

BoardLink::BoardLink(std::unique_ptr<SerialLine> line, PortLister ports)
    : line_handle_(std::move(line)), ports_(std::move(ports))
{
}

BoardLink::~BoardLink() = default;

void BoardLink::log(const std::string &text)
{
    if (view_ != nullptr)
        view_->log_line(text);
}

void BoardLink::show_read_status(bool ok)
{
    if (view_ != nullptr)
        view_->set_read_status(ok);
}

std::string BoardLink::field_text() const
{
    return view_ != nullptr ? view_->port_text() : std::string{};
}

void BoardLink::set_field_text(const std::string &text)
{
    if (view_ != nullptr)
        view_->set_port_text(text);
}

std::vector<PortInfo> BoardLink::list_ports() const
{
    return ports_ ? order_ports(ports_()) : std::vector<PortInfo>{};
}

// ---- Serial line and port frames -------------------------------------------------

BoardLink::OpenOutcome BoardLink::open_line()
{
    const std::string name = field_text();
    if (name.size() > kMaxPortNameLength)
        return OpenOutcome::name_too_long;
    port_name_ = name;
    const auto device = resolve_port_name(port_name_, list_ports());
    if (!device || !line_handle_->open(*device, baud_rate_))
        return OpenOutcome::cannot_open;
    return OpenOutcome::opened;
}

bool BoardLink::open_serial_port()
{
    return open_line() == OpenOutcome::opened;
}

void BoardLink::close_serial_port()
{
    line_handle_->close();
}

bool BoardLink::is_open() const
{
    return line_handle_->is_open();
}

bool BoardLink::serial_write(const std::uint8_t *bytes, std::size_t count)
{
    return line_handle_->write(bytes, count);
}

std::size_t BoardLink::serial_read(std::uint8_t *buffer, std::size_t count)
{
    return line_handle_->read(buffer, count, read_timeout(count));
}

int BoardLink::write_port(std::uint32_t value, unsigned port)
{
    if (port >= kPortCount)
        return kRefused;
    const WriteFrame frame = make_write_frame(value, port);
    // One byte a write, each drained before the next: the board takes the
    // frame byte by byte.
    bool sent = true;
    for (const std::uint8_t byte : frame)
        sent = serial_write(&byte, 1) && sent;
    return sent ? kDone : kNotSent;
}

int BoardLink::read_port(std::uint32_t &value, unsigned port)
{
    const std::uint8_t request = make_read_request(port);
    serial_write(&request, 1);
    Reply reply{};
    if (serial_read(reply.data(), reply.size()) == reply.size()) {
        show_read_status(true);
        value = decode_reply(reply);
        return kDone;
    }
    show_read_status(false);
    value = 0;
    return kTimeout;
}

// ---- Board connection ------------------------------------------------------------

bool BoardLink::identify_hw()
{
    if (read_port(hw_id_, kIdPort) != kDone)
        return false;
    for (std::uint32_t slot = 0; slot < hw_config_count; ++slot) {
        if (hw_config_table[slot].id == hw_id_) {
            hw_index_ = slot;
            log(format("Detected HW configuration '%s'", hw_config_table[slot].name));
            return true;
        }
    }
    return false;
}

void BoardLink::connect_board()
{
    switch (open_line()) {
    case OpenOutcome::opened:
        break;
    case OpenOutcome::name_too_long:
        log(format("Can't open serial port: the name is too long (%zu characters, at most %zu)",
                   field_text().size(), kMaxPortNameLength));
        return;
    case OpenOutcome::cannot_open:
        log(format("Can't open serial port %s", port_name_.c_str()));
        return;
    }
    if (!identify_hw()) {
        log("Invalid HW id, closing serial port");
        close_serial_port();
        return;
    }
    log(format("Using serial port %s (baudrate: %1d bps)", port_name_.c_str(), baud_rate_));
    if (hw_config_table[hw_index_].codec == 1)
        start_codec();
}

void BoardLink::reopen_serial_port()
{
    close_serial_port();
    connect_board();
}

void BoardLink::scan_serial_ports()
{
    close_serial_port();
    bool found = false;
    for (std::uint32_t n = 1; n < scan_limit_ && !found; ++n) {
        port_name_ = format("COM%1d", static_cast<int>(n));
        set_field_text(port_name_);
        log(format("Trying %s...", port_name_.c_str()));
        if (open_serial_port()) {
            found = identify_hw();
            if (found)
                break;
            log("Invalid HW id");
        }
        close_serial_port();
    }
    if (found) {
        set_field_text(port_name_);
        log(format("Using serial port %s", port_name_.c_str()));
    }
}

// ---- Settings file ---------------------------------------------------------------

void BoardLink::load_config()
{
    std::ifstream file(kConfigFileName, std::ios::binary);
    if (!file.is_open()) {
        log(kConfigFileError);
        return;
    }
    const ConfigRead read = parse_config(file);
    if (read.name) {
        port_name_ = *read.name;
    } else if (read.name_too_long) {
        log(format("Error: the port name in 'config.dat' is too long (%zu characters, at most %zu)",
                   read.rejected_name_length, kMaxPortNameLength));
    } else if (read.name_invalid) {
        log("Error: the port name in 'config.dat' holds control characters");
    }
    if (read.baud_rate)
        baud_rate_ = *read.baud_rate;
    set_field_text(port_name_);
}

void BoardLink::save_config()
{
    const std::string name = field_text();
    switch (check_port_name(name)) {
    case NameProblem::none:
        break;
    case NameProblem::empty:
        log("Error: the port name is empty: 'config.dat' is left as it was");
        return;
    case NameProblem::white_space:
        log(format("Error: the port name '%s' holds white space and would not read back: "
                   "'config.dat' is left as it was",
                   name.c_str()));
        return;
    case NameProblem::control_character:
        log("Error: the port name holds control characters: 'config.dat' is left as it was");
        return;
    case NameProblem::too_long:
        log(format("Error: the port name is too long (%zu characters, at most %zu): "
                   "'config.dat' is left as it was",
                   name.size(), kMaxPortNameLength));
        return;
    }
    if (!write_file_atomically(kConfigFileName, format_config(name, baud_rate_)))
        log(kConfigFileError);
}

} // namespace atlys
