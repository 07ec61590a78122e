// The termios serial line. The descriptor is non-blocking and every wait
// goes through poll() against a deadline, so no call can hang: a read ends
// by its deadline or as soon as the device goes away.

#include "posix_serial_speed.h"
#include "serial_line.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace atlys {

namespace {

using Clock = std::chrono::steady_clock;

// Writes have no limit of their own on the wire, but a line that never
// takes a byte (a hung driver) must not hold the window for ever.
constexpr auto kWriteStall = std::chrono::seconds{2};

int poll_ms(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Round up so the last wait reaches the deadline instead of spinning short of it.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

class PosixSerialLine final : public SerialLine {
public:
    ~PosixSerialLine() override { close(); }

    bool open(const std::string &device, std::int32_t baud_rate) override
    {
        close();
        if (device.empty())
            return false;
        int fd;
        do {
            fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return false;
        if (!::isatty(fd)) { // a regular file or /dev/null is no serial line
            ::close(fd);
            return false;
        }
        fd_ = fd;
        // From here on, settings the driver refuses are not examined: a
        // device that opens counts as open.
        (void)::ioctl(fd, TIOCEXCL);
        struct termios tio {};
        if (::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
            tio.c_cflag |= CS8;
            tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            (void)::tcsetattr(fd, TCSANOW, &tio);
        }
        (void)set_line_speed(fd, baud_rate);
        // A line starts with an empty input queue, as a COM port does when it
        // is opened: bytes a board sent before (a reply that came too late in
        // an earlier session) must not be taken as the answer to a new
        // request. Between reads the input is never purged. Output is left
        // alone: on a pty, bytes the board has not taken yet would be lost.
        (void)::tcflush(fd, TCIFLUSH);
        int lines = TIOCM_DTR | TIOCM_RTS;
        (void)::ioctl(fd, TIOCMBIC, &lines); // fails on a pty: nothing to drop there
        return true;
    }

    void close() override
    {
        if (fd_ < 0)
            return;
        // Leave the device shareable again for whoever opens it next.
        (void)::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

    bool is_open() const override { return fd_ >= 0; }

    bool write(const std::uint8_t *data, std::size_t count) override
    {
        if (fd_ < 0)
            return false;
        std::size_t done = 0;
        auto deadline = Clock::now() + kWriteStall;
        while (done < count) {
            const ssize_t n = ::write(fd_, data + done, count - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                deadline = Clock::now() + kWriteStall;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            pollfd pfd{fd_, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, poll_ms(deadline));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return false;
        }
        int rc;
        do {
            rc = ::tcdrain(fd_);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

    std::size_t read(std::uint8_t *buffer, std::size_t count,
                     std::chrono::milliseconds timeout) override
    {
        if (fd_ < 0)
            return 0;
        const auto deadline = Clock::now() + timeout;
        std::size_t got = 0;
        while (got < count) {
            // A raw tty with VMIN = VTIME = 0 answers read() with 0 when no
            // byte is there, so wait in poll() and read only what it reports.
            pollfd pfd{fd_, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, poll_ms(deadline));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break; // the deadline passed, or poll failed
            if ((pfd.revents & POLLIN) == 0)
                break; // hang-up or error without data: the device has gone away
            const ssize_t n = ::read(fd_, buffer + got, count - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            break; // readable but nothing to read (end of file) or EIO: gone away
        }
        return got;
    }

private:
    int fd_ = -1;
};

} // namespace

std::unique_ptr<SerialLine> make_posix_serial_line()
{
    return std::make_unique<PosixSerialLine>();
}

} // namespace atlys
