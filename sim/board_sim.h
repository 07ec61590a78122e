#pragma once
// A simulated Atlys board on a pseudo-terminal.
//
// BoardSim opens a pty pair (raw mode) and, on a thread of its own, plays
// the board's side of the port protocol on the master: ports 0-14 keep the
// last value written and return it when read, port 15 returns the
// configuration id. The slave path (or a stable symlink to it) is what the
// panel opens. Every byte received is recorded in order.
//
// Fault modes, per port, make the board silent, answer 3 or 5 bytes, or
// answer late; go_away() closes the pty as an unplugged board would (and
// takes the link away, as the device node of an unplugged adapter goes) and
// come_back() opens a new one behind the same link.
//
// What the board does with a completed frame (store a value, answer a read)
// lives in two hooks of BoardSim, board_write_locked() and
// board_read_locked(); a configuration with more behaviour than plain
// registers (the audio codec's status and register-write handshake) is
// added there.
//
// FrameParser is the byte-stream parser on its own (no I/O), so it can be
// tested and fuzzed alone.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace atlys::sim {

constexpr std::uint32_t kBareboneId = 0x20161700;
constexpr std::uint32_t kAudioCodecId = 0x20161701;

struct Event {
    enum class Kind { write, read, stray } kind;
    unsigned port = 0;        // write and read
    std::uint32_t value = 0;  // write: the value written; read: the value the board answers
    std::uint8_t byte = 0;    // stray: a byte that starts no frame
};

class FrameParser {
public:
    // Feeds one received byte; returns an event when it completes one.
    std::optional<Event> feed(std::uint8_t byte);
    bool in_frame() const { return pending_ > 0; }

private:
    unsigned port_ = 0;
    unsigned pending_ = 0;  // value bytes still due of a write frame
    std::uint32_t value_ = 0;
};

enum class Fault {
    none,         // answers four bytes at once
    silent,       // answers nothing
    short_reply,  // answers the first three bytes only
    long_reply,   // answers the four bytes and one extra byte (kExtraByte)
    delayed,      // answers four bytes after `delay`
};

constexpr std::uint8_t kExtraByte = 0xA5;

struct PortBehaviour {
    Fault fault = Fault::none;
    std::chrono::milliseconds delay{0};
};

class BoardSim {
public:
    explicit BoardSim(std::uint32_t config_id = kBareboneId);
    ~BoardSim();
    BoardSim(const BoardSim &) = delete;
    BoardSim &operator=(const BoardSim &) = delete;

    // Opens the pty and starts answering. With a link path, a symlink there
    // points at the slave (replaced if it exists). False when no pty could be had.
    bool start(const std::string &link_path = {});
    // Stops answering, closes the pty, removes the link.
    void stop();

    // The board is unplugged: the pty closes, the panel's line hangs up.
    void go_away();
    // The board is plugged in again: a new pty behind the same link.
    bool come_back();
    bool present() const;

    std::string slave_path() const;
    std::string link_path() const;
    // The link when one was asked for, else the slave path.
    std::string device() const;

    void set_config_id(std::uint32_t id);
    std::uint32_t config_id() const;
    // Ports 0-14; port 15 always reads as the configuration id, so setting
    // it is ignored and port_value(15) is config_id(). Other ports: ignored, 0.
    void set_port_value(unsigned port, std::uint32_t value);
    std::uint32_t port_value(unsigned port) const;
    // Ports 0-15 (port 15 too: a board that does not identify itself).
    void set_behaviour(unsigned port, PortBehaviour behaviour);
    // Every port answers normally again.
    void clear_faults();

    // Sends bytes nobody asked for.
    void send_unasked(const std::vector<std::uint8_t> &bytes);

    // All bytes received so far, in order, across go_away()/come_back().
    std::vector<std::uint8_t> received() const;
    void clear_received();
    // Waits until at least `count` bytes have been received in all.
    bool wait_received(std::size_t count, std::chrono::milliseconds timeout) const;

    // Called on the simulator's thread for every completed event, outside the
    // simulator's lock (the callback may call back into the simulator).
    void set_event_callback(std::function<void(const Event &)> callback);

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    bool open_pty_locked();
    void close_pty_locked();
    bool place_link_locked();
    void remove_link_locked();
    void run();
    void receive_locked(std::vector<Event> &events);
    void handle_event_locked(Event &event);
    // The board model: what a write does, and the value a read answers.
    void board_write_locked(unsigned port, std::uint32_t value);
    std::uint32_t board_read_locked(unsigned port);
    void queue_reply_locked(std::chrono::steady_clock::time_point due,
                            std::vector<std::uint8_t> bytes);
    void send_due_locked(std::chrono::steady_clock::time_point now);
    void flush_out_locked();
    void wake();

    mutable std::mutex mutex_;
    mutable std::condition_variable received_cv_;
    std::thread thread_;
    bool running_ = false;
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up between panel opens
    int wake_pipe_[2] = {-1, -1};
    std::string slave_path_;
    std::string link_path_;
    std::uint32_t config_id_;
    std::uint32_t ports_[16] = {};
    PortBehaviour behaviour_[16];
    std::vector<Pending> pending_;   // replies not yet due, in order of due time
    std::vector<std::uint8_t> out_;  // bytes due but not yet taken by the master
    unsigned generation_ = 0;        // bumped whenever the pty is replaced or closed
    std::vector<std::uint8_t> received_;
    FrameParser parser_;
    std::function<void(const Event &)> callback_;
};

} // namespace atlys::sim
