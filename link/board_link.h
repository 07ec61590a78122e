#pragma once
// The board link: one serial line to the board and the board's port protocol.
//
// How the parts fit:
//   SerialLine  (serial_line.h)  moves raw bytes; termios backend on POSIX.
//   frames.h                     builds and decodes the port frames (pure).
//   port_names.h                 maps COM1, COM2, ... to devices (pure).
//   config_file.h                reads and writes config.dat.
//   port_values.h                number entry and the port messages (pure).
//   BoardLink   (this file)      the link state and every operation on it:
//                                port transfers, identification, connection,
//                                scan and settings. It reports each event as
//                                one line through LinkView and every port
//                                read through LinkView::set_read_status.
//
// Results: the port operations return kDone (0), kRefused (1) for a port
// out of range or a read that timed out, kNotSent (2) for a write frame
// that could not leave (line closed or the write failed). Opening and
// identification return a success flag. Nothing throws.

#include "frames.h"
#include "link_view.h"
#include "port_names.h"
#include "serial_line.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace atlys {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kTimeout = 1;
constexpr int kNotSent = 2;

struct hw_config {
    const char *name;
    std::uint32_t id;
    std::int32_t codec;
};

constexpr std::size_t kHwConfigSlots = 8;
extern const std::array<hw_config, kHwConfigSlots> hw_config_table;
constexpr std::uint32_t hw_config_count = 2;

constexpr std::uint32_t kBareboneId = 0x20161700;
constexpr std::uint32_t kAudioCodecId = 0x20161701;

constexpr auto kCodecReadyPause = std::chrono::milliseconds{10};

constexpr std::int32_t kDefaultBaudRate = 115200;
constexpr const char *kDefaultPortName = "COM1";

class BoardLink {
public:
    BoardLink(std::unique_ptr<SerialLine> line, PortLister ports);
    ~BoardLink();
    BoardLink(const BoardLink &) = delete;
    BoardLink &operator=(const BoardLink &) = delete;

    // The window the link reports to; messages are dropped while none is attached.
    void attach_view(LinkView *view) { view_ = view; }

    // Serial line and port frames.
    bool open_serial_port();
    void close_serial_port();
    bool is_open() const;
    bool serial_write(const std::uint8_t *bytes, std::size_t count);
    std::size_t serial_read(std::uint8_t *buffer, std::size_t count);
    int write_port(std::uint32_t value, unsigned port);
    int read_port(std::uint32_t &value, unsigned port);

    // Board connection and settings file.
    bool identify_hw();
    void connect_board();
    void reopen_serial_port();
    void scan_serial_ports();
    void load_config();
    void save_config();

    // Audio codec start-up: waits for the codec's ready flag on port 2, then
    // writes one register; logs "Timeout waiting for RDY=1" when it never came.
    void write_codec_register(unsigned index, std::uint32_t value);
    void start_codec();

    // Port value commands, one logged line each (and one more when a write
    // frame could not leave). read_command returns the read field's new
    // text, or nothing when the port did not answer.
    void write_command(unsigned port, const std::string &text, bool hex);
    std::optional<std::string> read_command(unsigned port, bool hex);

    // The serial ports in panel order, looked up now.
    std::vector<PortInfo> list_ports() const;

    const std::string &port_name() const { return port_name_; }
    std::int32_t baud_rate() const { return baud_rate_; }
    // The line speed used by the next open. The panel takes it from
    // config.dat only (load_config); the command-line tool also from --baud.
    void set_baud_rate(std::int32_t baud_rate) { baud_rate_ = baud_rate; }
    std::uint32_t hw_id() const { return hw_id_; }
    std::uint32_t hw_index() const { return hw_index_; }
    std::uint32_t scan_limit() const { return scan_limit_; }

private:
    void log(const std::string &text);
    void show_read_status(bool ok);
    std::string field_text() const;
    void set_field_text(const std::string &text);

    enum class OpenOutcome { opened, cannot_open, name_too_long };
    // Opens the device the port field names; COM names are looked up in
    // `listed` when given (a scan takes the list once), else in a fresh list.
    OpenOutcome open_line(const std::vector<PortInfo> *listed = nullptr);

    LinkView *view_ = nullptr;
    std::unique_ptr<SerialLine> line_handle_;
    PortLister ports_;
    std::string port_name_;
    std::int32_t baud_rate_ = kDefaultBaudRate;
    std::uint32_t hw_id_ = 0;
    std::uint32_t hw_index_ = 0;
    std::uint32_t scan_limit_ = 30;
};

} // namespace atlys
