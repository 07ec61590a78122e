#include "board_sim.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#if __has_include(<pty.h>)
#include <pty.h>
#else
#include <util.h>
#endif

namespace atlys::sim {

namespace {

constexpr unsigned kPorts = 16;
constexpr unsigned kIdPort = 15;
constexpr std::uint8_t kWriteCommand = 0x20;
constexpr std::uint8_t kReadCommand = 0x30;

void close_fd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool add_fd_flags(int fd, int get, int set, int flags)
{
    const int old = ::fcntl(fd, get);
    return old >= 0 && ::fcntl(fd, set, old | flags) == 0;
}

std::vector<std::uint8_t> value_bytes(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

} // namespace

std::vector<CodecStatus> codec_script(CodecReadiness readiness)
{
    switch (readiness) {
    case CodecReadiness::now:
        return {CodecStatus::ready};
    case CodecReadiness::second:
        return {CodecStatus::not_ready, CodecStatus::ready};
    case CodecReadiness::never:
        return {CodecStatus::not_ready};
    case CodecReadiness::silent:
        return {CodecStatus::silent};
    }
    return {CodecStatus::ready};
}

std::optional<Event> FrameParser::feed(std::uint8_t byte)
{
    if (pending_ > 0) {
        // Inside a write frame every byte is value data, whatever it looks like.
        value_ = (value_ << 8) | byte;
        if (--pending_ > 0)
            return std::nullopt;
        return Event{Event::Kind::write, port_, value_, 0};
    }
    switch (byte & 0xF0) {
    case kWriteCommand:
        port_ = byte & 0x0F;
        value_ = 0;
        pending_ = 4;
        return std::nullopt;
    case kReadCommand:
        return Event{Event::Kind::read, static_cast<unsigned>(byte & 0x0F), 0, 0};
    default:
        return Event{Event::Kind::stray, 0, 0, byte};
    }
}

BoardSim::BoardSim(std::uint32_t config_id) : config_id_(config_id) {}

BoardSim::~BoardSim()
{
    stop();
}

bool BoardSim::start(const std::string &link_path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ || thread_.joinable())
        return false;
    if (::pipe(wake_pipe_) != 0)
        return false;
    for (int fd : wake_pipe_) {
        add_fd_flags(fd, F_GETFD, F_SETFD, FD_CLOEXEC);
        add_fd_flags(fd, F_GETFL, F_SETFL, O_NONBLOCK);
    }
    link_path_ = link_path;
    if (!open_pty_locked()) {
        close_fd(wake_pipe_[0]);
        close_fd(wake_pipe_[1]);
        return false;
    }
    if (!place_link_locked()) {
        close_pty_locked();
        close_fd(wake_pipe_[0]);
        close_fd(wake_pipe_[1]);
        return false;
    }
    running_ = true;
    try {
        thread_ = std::thread(&BoardSim::run, this);
    } catch (const std::system_error &) {
        running_ = false;
        close_pty_locked();
        remove_link_locked();
        close_fd(wake_pipe_[0]);
        close_fd(wake_pipe_[1]);
        return false;
    }
    return true;
}

void BoardSim::stop()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        thread = std::move(thread_);
    }
    // Only the caller that took the thread tears down, so the wake pipe is
    // never closed under a thread still polling it.
    if (!thread.joinable())
        return;
    wake();
    thread.join();
    std::lock_guard<std::mutex> lock(mutex_);
    close_pty_locked();
    remove_link_locked();
    close_fd(wake_pipe_[0]);
    close_fd(wake_pipe_[1]);
}

void BoardSim::go_away()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ < 0)
        return;
    close_pty_locked();
    remove_link_locked();
    wake();
}

bool BoardSim::come_back()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_)
        return false;
    if (master_ >= 0)
        return true;
    if (!open_pty_locked())
        return false;
    if (!place_link_locked()) {
        close_pty_locked();
        return false;
    }
    wake();
    return true;
}

bool BoardSim::present() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return master_ >= 0;
}

std::string BoardSim::slave_path() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return slave_path_;
}

std::string BoardSim::link_path() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return link_path_;
}

std::string BoardSim::device() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return link_path_.empty() ? slave_path_ : link_path_;
}

void BoardSim::set_config_id(std::uint32_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    config_id_ = id;
}

std::uint32_t BoardSim::config_id() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_id_;
}

void BoardSim::set_port_value(unsigned port, std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (port < kIdPort)
        ports_[port] = value;
}

std::uint32_t BoardSim::port_value(unsigned port) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (port == kIdPort)
        return config_id_;
    return port < kIdPort ? ports_[port] : 0;
}

void BoardSim::set_behaviour(unsigned port, PortBehaviour behaviour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (port < kPorts)
        behaviour_[port] = behaviour;
}

void BoardSim::clear_faults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::fill(std::begin(behaviour_), std::end(behaviour_), PortBehaviour{});
}

void BoardSim::enable_codec(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    codec_forced_ = on;
}

bool BoardSim::codec_enabled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return codec_active_locked();
}

void BoardSim::set_codec_ready_script(std::vector<CodecStatus> script)
{
    std::lock_guard<std::mutex> lock(mutex_);
    codec_script_ = std::move(script);
    codec_step_ = 0;
}

void BoardSim::set_codec_status_bits(std::uint32_t bits)
{
    std::lock_guard<std::mutex> lock(mutex_);
    codec_status_bits_ = bits & ~kCodecReadyBit;
}

std::vector<CodecWrite> BoardSim::codec_writes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return codec_writes_;
}

std::vector<std::chrono::steady_clock::time_point> BoardSim::codec_status_reads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return codec_status_reads_;
}

void BoardSim::send_unasked(const std::vector<std::uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ < 0)
        return;
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    flush_out_locked();
    if (!out_.empty())
        wake(); // the thread then polls for room to send the rest
}

std::vector<std::uint8_t> BoardSim::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void BoardSim::clear_received()
{
    std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
}

bool BoardSim::wait_received(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return received_cv_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void BoardSim::set_event_callback(std::function<void(const Event &)> callback)
{
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = std::move(callback);
}

bool BoardSim::open_pty_locked()
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return false;
    // Raw mode matters beyond the panel's own settings: with the default
    // echo, the panel's requests would come back to it as replies.
    termios tio{};
    bool ok = add_fd_flags(master, F_GETFD, F_SETFD, FD_CLOEXEC) &&
              add_fd_flags(slave, F_GETFD, F_SETFD, FD_CLOEXEC) &&
              add_fd_flags(master, F_GETFL, F_SETFL, O_NONBLOCK) && ::tcgetattr(slave, &tio) == 0;
    if (ok) {
        ::cfmakeraw(&tio);
        ok = ::tcsetattr(slave, TCSANOW, &tio) == 0;
    }
    char name[128] = {};
    if (!ok || ::ttyname_r(slave, name, sizeof name) != 0) {
        close_fd(master);
        close_fd(slave);
        return false;
    }
    master_ = master;
    slave_ = slave;
    slave_path_ = name;
    parser_ = FrameParser{};
    ++generation_;
    return true;
}

void BoardSim::close_pty_locked()
{
    // Closing the master hangs up every open of the slave: the panel's line
    // then reads end-of-file or EIO and polls POLLHUP, as on an unplugged board.
    close_fd(master_);
    close_fd(slave_);
    slave_path_.clear();
    pending_.clear();
    out_.clear();
    parser_ = FrameParser{};
    ++generation_;
}

bool BoardSim::place_link_locked()
{
    if (link_path_.empty())
        return true;
    // A fresh link renamed over the old one, so the path never goes missing
    // between two targets.
    const std::string temporary = link_path_ + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(slave_path_.c_str(), temporary.c_str()) != 0)
        return false;
    if (::rename(temporary.c_str(), link_path_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void BoardSim::remove_link_locked()
{
    struct stat st {};
    if (!link_path_.empty() && ::lstat(link_path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(link_path_.c_str());
}

void BoardSim::wake()
{
    if (wake_pipe_[1] < 0)
        return;
    const char byte = 0;
    // A full pipe already holds a wake-up; nothing more is needed then.
    while (::write(wake_pipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

void BoardSim::run()
{
    using clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    while (running_) {
        const auto now = clock::now();
        send_due_locked(now);

        int timeout_ms = -1;
        if (!pending_.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(pending_.front().due - now);
            timeout_ms = static_cast<int>(std::max<long long>(0, left.count()));
        }
        pollfd fds[2] = {{wake_pipe_[0], POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        const unsigned generation = generation_;
        if (master_ >= 0) {
            fds[1] = {master_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
            count = 2;
        }
        lock.unlock();

        const int ready = ::poll(fds, count, timeout_ms);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            char drain[64];
            while (::read(fds[0].fd, drain, sizeof drain) > 0) {
            }
        }

        lock.lock();
        // The pty may have been closed or replaced while polling; its fd
        // number is then stale (perhaps reused) and its readiness means nothing.
        if (ready <= 0 || count < 2 || generation != generation_)
            continue;
        std::vector<Event> events;
        if (fds[1].revents & (POLLIN | POLLERR | POLLHUP))
            receive_locked(events);
        if (fds[1].revents & POLLOUT)
            flush_out_locked();
        if (!events.empty() && callback_) {
            const auto callback = callback_;
            lock.unlock();
            for (const Event &event : events)
                callback(event);
            lock.lock();
        }
    }
}

void BoardSim::receive_locked(std::vector<Event> &events)
{
    std::uint8_t buffer[256];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EAGAIN: all taken; EIO or end: nothing to take
        received_.insert(received_.end(), buffer, buffer + n);
        for (ssize_t i = 0; i < n; ++i) {
            if (auto event = parser_.feed(buffer[i]))
                handle_event_locked(*event, events);
        }
    }
    received_cv_.notify_all();
    send_due_locked(std::chrono::steady_clock::now());
}

void BoardSim::handle_event_locked(Event event, std::vector<Event> &events)
{
    if (event.kind == Event::Kind::write) {
        const std::optional<Event> completed = board_write_locked(event.port, event.value);
        events.push_back(event);
        if (completed)
            events.push_back(*completed);
        return;
    }
    if (event.kind != Event::Kind::read) {
        events.push_back(event); // a stray byte is recorded and otherwise ignored
        return;
    }

    const std::optional<std::uint32_t> answer = board_read_locked(event.port);
    const PortBehaviour &behaviour = behaviour_[event.port];
    event.value = answer.value_or(0);
    event.answered = answer.has_value() && behaviour.fault != Fault::silent;
    events.push_back(event);
    if (!event.answered)
        return;
    std::vector<std::uint8_t> reply = value_bytes(event.value);
    auto due = std::chrono::steady_clock::now();
    switch (behaviour.fault) {
    case Fault::none:
    case Fault::silent:
        break;
    case Fault::short_reply:
        reply.resize(3);
        break;
    case Fault::long_reply:
        reply.push_back(kExtraByte);
        break;
    case Fault::delayed:
        due += behaviour.delay;
        break;
    }
    queue_reply_locked(due, std::move(reply));
}

// The plain board: ports 0-14 are registers, a write to port 15 changes
// nothing (port 15 reads as the configuration id).
//
// The audio codec rides on three of those ports. Port 2 and port 3 still
// keep what was written (the register value and index of the next
// sequence), but a read of port 2 answers the codec's status instead, and
// a 1 written to port 15 hands the pending value and index to the codec as
// one register write. The codec takes the sequence as it comes: whether RDY
// was set before it is for the panel to have checked, and the recorded
// bytes show whether it did.
std::optional<Event> BoardSim::board_write_locked(unsigned port, std::uint32_t value)
{
    if (port < kIdPort)
        ports_[port] = value;
    if (port != kCodecStrobePort || value != 1 || !codec_active_locked())
        return std::nullopt;
    const CodecWrite write{ports_[kCodecIndexPort], ports_[kCodecDataPort]};
    codec_writes_.push_back(write);
    Event event{Event::Kind::codec_write};
    event.index = write.index;
    event.value = write.value;
    return event;
}

std::optional<std::uint32_t> BoardSim::board_read_locked(unsigned port)
{
    if (port == kIdPort)
        return config_id_;
    if (port != kCodecDataPort || !codec_active_locked())
        return ports_[port];

    codec_status_reads_.push_back(std::chrono::steady_clock::now());
    CodecStatus status = CodecStatus::ready;
    if (!codec_script_.empty()) {
        status = codec_script_[std::min(codec_step_, codec_script_.size() - 1)];
        if (codec_step_ < codec_script_.size())
            ++codec_step_;
    }
    switch (status) {
    case CodecStatus::ready:
        return codec_status_bits_ | kCodecReadyBit;
    case CodecStatus::not_ready:
        return codec_status_bits_;
    case CodecStatus::silent:
        break;
    }
    return std::nullopt;
}

bool BoardSim::codec_active_locked() const
{
    return codec_forced_.value_or(config_id_ == kAudioCodecId);
}

void BoardSim::queue_reply_locked(std::chrono::steady_clock::time_point due,
                                  std::vector<std::uint8_t> bytes)
{
    // Replies leave in the order the requests came: one never overtakes a
    // delayed one before it.
    if (!pending_.empty())
        due = std::max(due, pending_.back().due);
    pending_.push_back(Pending{due, std::move(bytes)});
}

void BoardSim::send_due_locked(std::chrono::steady_clock::time_point now)
{
    auto first_later = pending_.begin();
    while (first_later != pending_.end() && first_later->due <= now) {
        out_.insert(out_.end(), first_later->bytes.begin(), first_later->bytes.end());
        ++first_later;
    }
    pending_.erase(pending_.begin(), first_later);
    flush_out_locked();
}

void BoardSim::flush_out_locked()
{
    if (master_ < 0) {
        out_.clear();
        return;
    }
    std::size_t sent = 0;
    while (sent < out_.size()) {
        const ssize_t n = ::write(master_, out_.data() + sent, out_.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break; // the rest goes when the master has room (POLLOUT)
        } else {
            sent = out_.size(); // the line is gone: what was due is lost
        }
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(sent));
}

} // namespace atlys::sim
