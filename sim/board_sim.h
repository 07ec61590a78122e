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
// board_read_locked(). The audio-codec configuration adds its codec there:
// a read of port 2 answers the codec's status (bit 0 is RDY, scripted read
// by read), and a value written to port 2, an index written to port 3 and
// then a 1 written to port 15 make one codec register write, recorded and
// reported as an event.
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
    enum class Kind { write, read, stray, codec_write } kind;
    unsigned port = 0;       // write and read
    std::uint32_t value = 0; // write: the value written; read: the value the board answers;
                             // codec_write: the register value (as written to port 2)
    std::uint8_t byte = 0;   // stray: a byte that starts no frame
    std::uint32_t index = 0; // codec_write: the register index (as written to port 3)
    bool answered = true;    // read: false when the board sent no reply at all
};

// The audio codec's ready flag as one read of port 2 finds it.
enum class CodecStatus {
    ready,     // answers a status with RDY (bit 0) set
    not_ready, // answers a status with RDY clear
    silent,    // answers nothing, as a codec that hangs the port
};

// Ready behaviours worth having at hand; each is a script for
// BoardSim::set_codec_ready_script().
enum class CodecReadiness { now, second, never, silent };
std::vector<CodecStatus> codec_script(CodecReadiness readiness);

// One completed register-write sequence, as the board received it (the
// index and value are not masked to the codec's 5 and 16 bits).
struct CodecWrite {
    std::uint32_t index = 0;
    std::uint32_t value = 0;
    bool operator==(const CodecWrite &other) const
    {
        return index == other.index && value == other.value;
    }
};

constexpr unsigned kCodecDataPort = 2;    // value written; status (RDY in bit 0) read
constexpr unsigned kCodecIndexPort = 3;   // register index written
constexpr unsigned kCodecStrobePort = 15; // a 1 written completes the sequence
constexpr std::uint32_t kCodecReadyBit = 0x1;

class FrameParser {
public:
    // Feeds one received byte; returns an event when it completes one.
    std::optional<Event> feed(std::uint8_t byte);
    bool in_frame() const { return pending_ > 0; }

private:
    unsigned port_ = 0;
    unsigned pending_ = 0; // value bytes still due of a write frame
    std::uint32_t value_ = 0;
};

enum class Fault {
    none,        // answers four bytes at once
    silent,      // answers nothing
    short_reply, // answers the first three bytes only
    long_reply,  // answers the four bytes and one extra byte (kExtraByte)
    delayed,     // answers four bytes after `delay`
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

    // The codec model: on by default for kAudioCodecId, off for any other
    // id; enable_codec() forces it on or off whatever the id.
    void enable_codec(bool on);
    bool codec_enabled() const;
    // What successive reads of port 2 answer; the last entry repeats. An
    // empty script means ready at once. Setting a script starts it afresh.
    void set_codec_ready_script(std::vector<CodecStatus> script);
    // Status bits other than RDY that every status answer carries
    // (bit 0 is ignored here), e.g. to model a busy flag.
    void set_codec_status_bits(std::uint32_t bits);
    // Every completed register-write sequence, in order.
    std::vector<CodecWrite> codec_writes() const;
    // When each read request of port 2 reached the codec model, in order.
    std::vector<std::chrono::steady_clock::time_point> codec_status_reads() const;

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
    // Plays one event on the board model; appends it (and any event it
    // completes) to `events`.
    void handle_event_locked(Event event, std::vector<Event> &events);
    // The board model: what a write does, and the value a read answers.
    // A write may complete a further event (a codec register write), which
    // is returned to be reported after the frame's own.
    std::optional<Event> board_write_locked(unsigned port, std::uint32_t value);
    // The value a read answers, or nothing when the board stays silent.
    std::optional<std::uint32_t> board_read_locked(unsigned port);
    bool codec_active_locked() const;
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
    int slave_ = -1; // held open so the master never sees a hang-up between panel opens
    int wake_pipe_[2] = {-1, -1};
    std::string slave_path_;
    std::string link_path_;
    std::uint32_t config_id_;
    std::uint32_t ports_[16] = {};
    PortBehaviour behaviour_[16];
    std::vector<Pending> pending_;  // replies not yet due, in order of due time
    std::vector<std::uint8_t> out_; // bytes due but not yet taken by the master
    unsigned generation_ = 0;       // bumped whenever the pty is replaced or closed
    std::vector<std::uint8_t> received_;
    FrameParser parser_;
    std::optional<bool> codec_forced_; // set by enable_codec(); else follows the id
    std::vector<CodecStatus> codec_script_;
    std::size_t codec_step_ = 0; // next entry of codec_script_ (the last one repeats)
    std::uint32_t codec_status_bits_ = 0;
    std::vector<CodecWrite> codec_writes_;
    std::vector<std::chrono::steady_clock::time_point> codec_status_reads_;
    std::function<void(const Event &)> callback_;
};

} // namespace atlys::sim
