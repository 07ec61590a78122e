// The board link against a misbehaving board: the simulated board on a real
// pseudo-terminal goes away in mid-session and comes back, answers late,
// sends bytes nobody asked for, or sits behind a device the user may not open.

#include "board_link.h"
#include "board_sim.h"
#include "link_fixture.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace atlys;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr const char *kBarebone = "Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'";

std::uint32_t big_endian(const Bytes &bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

Bytes value_bytes(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void board_goes_away_and_comes_back_data();
    void board_goes_away_and_comes_back();
    void board_goes_away_during_a_read();
    void late_reply_data();
    void late_reply();
    void unasked_bytes_lead_the_next_reply_data();
    void unasked_bytes_lead_the_next_reply();
    void bytes_left_from_before_an_open_are_dropped();
    void permission_denied();

private:
    // A link whose system list holds the board while it is plugged in, as
    // the list of an unplugged USB adapter no longer does.
    std::unique_ptr<BoardLink> make_link();
    // A link connected to the board through its link path.
    std::unique_ptr<BoardLink> connected_link();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<sim::BoardSim> board_;
    Recorder view_;
};

void TestFaults::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    board_ = std::make_unique<sim::BoardSim>();
    QVERIFY2(board_->start(dir_->filePath("atlys-board").toStdString()),
             "no pseudo-terminal could be opened");
    view_ = Recorder{};
}

void TestFaults::cleanup()
{
    board_.reset();
    dir_.reset();
}

std::unique_ptr<BoardLink> TestFaults::make_link()
{
    auto link = std::make_unique<BoardLink>(make_posix_serial_line(), [this] {
        std::vector<PortInfo> ports;
        if (board_->present())
            ports.push_back({"ttyUSB0", board_->slave_path(), "simulated board", {}, {}});
        return ports;
    });
    link->attach_view(&view_);
    return link;
}

std::unique_ptr<BoardLink> TestFaults::connected_link()
{
    auto link = make_link();
    view_.field = board_->link_path();
    link->connect_board();
    if (!link->is_open())
        return nullptr;
    view_.take_lines();
    view_.statuses.clear();
    return link;
}

void TestFaults::board_goes_away_and_comes_back_data()
{
    QTest::addColumn<bool>("com_name");
    QTest::newRow("device path typed") << false;
    QTest::newRow("COM1 of the system's list") << true;
}

void TestFaults::board_goes_away_and_comes_back()
{
    QFETCH(bool, com_name);
    const std::string name = com_name ? std::string("COM1") : board_->link_path();
    auto link = make_link();
    view_.field = name;
    link->connect_board();
    const QString using_line =
        QString("Using serial port %1 (baudrate: 115200 bps)").arg(QString::fromStdString(name));
    QCOMPARE(view_.take_lines(), (QStringList{kBarebone, using_line}));
    board_->set_port_value(3, 0x33);
    QCOMPARE(link->read_command(3, true), std::optional<std::string>("00000033"));
    view_.take_lines();

    board_->go_away();

    // The hung-up line ends the read at once, well inside the reply window.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link->read_command(3, true), std::nullopt);
    const qint64 elapsed = timer.elapsed();
    qInfo("read of a board that went away: %lld ms", elapsed);
    QVERIFY2(elapsed < 600, qPrintable(QString::number(elapsed)));
    QCOMPARE(view_.statuses.back(), false);
    QCOMPARE(view_.take_lines(), QStringList{"Timeout reading Port[3]"});

    // Further commands still answer, each with its line.
    link->write_command(4, "5", false);
    QCOMPARE(view_.take_lines(),
             (QStringList{"Write          5 to port 4  (hexadecimal: 00000005h)",
                          "Nothing was sent: writing to the serial port failed"}));
    QCOMPARE(link->read_command(0, false), std::nullopt);
    QCOMPARE(view_.take_lines(), QStringList{"Timeout reading Port[0]"});

    // Reopening finds no device behind the name.
    link->reopen_serial_port();
    QCOMPARE(view_.take_lines(),
             QStringList{QString("Can't open serial port %1").arg(QString::fromStdString(name))});
    QVERIFY(!link->is_open());

    // Plugged in again: reopening connects, and the board answers.
    QVERIFY(board_->come_back());
    link->reopen_serial_port();
    QCOMPARE(view_.take_lines(), (QStringList{kBarebone, using_line}));
    QVERIFY(link->is_open());
    link->write_command(4, "0x77", true);
    QCOMPARE(link->read_command(4, true), std::optional<std::string>("00000077"));
    QCOMPARE(view_.take_lines(),
             (QStringList{"Write 00000077h to port 4  (decimal:        119)",
                          "Port[ 4]=00000077h  (decimal:       119,  unsigned:        119)"}));
}

void TestFaults::board_goes_away_during_a_read()
{
    auto link = connected_link();
    QVERIFY(link);
    // The board is unplugged the moment it takes the read request, before
    // any reply: the read must not sit out its 600 ms on a line that is gone.
    board_->set_behaviour(5, {sim::Fault::silent, 0ms});
    sim::BoardSim *const board = board_.get();
    board_->set_event_callback([board](const sim::Event &event) {
        if (event.kind == sim::Event::Kind::read && event.port == 5)
            board->go_away();
    });
    std::uint32_t value = 7;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link->read_port(value, 5), kTimeout);
    const qint64 elapsed = timer.elapsed();
    qInfo("read cut off by the board going away: %lld ms", elapsed);
    QVERIFY2(elapsed < 600, qPrintable(QString::number(elapsed)));
    QCOMPARE(value, 0u);
    QVERIFY(!board_->present());
    board_->set_event_callback({});
}

void TestFaults::late_reply_data()
{
    QTest::addColumn<int>("delay_ms");
    QTest::addColumn<bool>("taken");
    QTest::newRow("550 ms: inside the reply window") << 550 << true;
    QTest::newRow("650 ms: past the reply window") << 650 << false;
}

void TestFaults::late_reply()
{
    QFETCH(int, delay_ms);
    QFETCH(bool, taken);
    auto link = connected_link();
    QVERIFY(link);
    constexpr std::uint32_t kLate = 0x11223344;
    constexpr std::uint32_t kNext = 0x55667788;
    board_->set_port_value(1, kLate);
    board_->set_port_value(2, kNext);
    board_->set_behaviour(1, {sim::Fault::delayed, std::chrono::milliseconds{delay_ms}});

    std::uint32_t value = 0xDEADBEEF;
    QElapsedTimer timer;
    timer.start();
    const int result = link->read_port(value, 1);
    const qint64 elapsed = timer.elapsed();
    qInfo("reply after %d ms: the read ended after %lld ms", delay_ms, elapsed);
    board_->clear_faults();

    if (taken) {
        QCOMPARE(result, kDone);
        QCOMPARE(value, kLate);
        QVERIFY2(elapsed >= delay_ms, "the reply came before its delay");
        // Nothing is left over: the next read gets its own reply.
        QCOMPARE(link->read_port(value, 2), kDone);
        QCOMPARE(value, kNext);
        QCOMPARE(view_.statuses, (QList<bool>{true, true}));
        return;
    }

    QCOMPARE(result, kTimeout);
    QCOMPARE(value, 0u);
    // The read ends at its deadline, neither before nor at the late reply.
    QVERIFY2(elapsed >= 595 && elapsed < delay_ms, qPrintable(QString::number(elapsed)));
    // The late bytes are not thrown away: they are the next read's reply...
    QCOMPARE(link->read_port(value, 2), kDone);
    QCOMPARE(value, kLate);
    // ...and every reply after them comes one read late: port 15 now gives
    // port 2's value, not the configuration id.
    QCOMPARE(link->read_port(value, 15), kDone);
    QCOMPARE(value, kNext);
    QCOMPARE(view_.statuses, (QList<bool>{false, true, true}));
}

void TestFaults::unasked_bytes_lead_the_next_reply_data()
{
    QTest::addColumn<Bytes>("unasked");
    QTest::newRow("one byte") << Bytes{0xDE};
    QTest::newRow("two bytes") << Bytes{0xDE, 0xAD};
    QTest::newRow("a whole reply") << Bytes{0xDE, 0xAD, 0xBE, 0xEF};
    QTest::newRow("six bytes") << Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
}

void TestFaults::unasked_bytes_lead_the_next_reply()
{
    QFETCH(Bytes, unasked);
    auto link = connected_link();
    QVERIFY(link);
    const std::vector<std::pair<unsigned, std::uint32_t>> reads = {
        {5, 0xA0A1A2A3}, {6, 0xB0B1B2B3}, {7, 0xC0C1C2C3}, {3, 0xD0D1D2D3}};
    // What reaches the line, in order: the unasked bytes, then one reply per request.
    Bytes stream = unasked;
    for (const auto &[port, value] : reads) {
        board_->set_port_value(port, value);
        const Bytes reply = value_bytes(value);
        stream.insert(stream.end(), reply.begin(), reply.end());
    }

    board_->send_unasked(unasked);
    // Each read takes the next four bytes of that stream.
    for (std::size_t k = 0; k < reads.size(); ++k) {
        std::uint32_t value = 0;
        QCOMPARE(link->read_port(value, reads[k].first), kDone);
        QCOMPARE(value, big_endian(stream, 4 * k));
    }
    QCOMPARE(view_.statuses, QList<bool>(reads.size(), true));
    // The identification and every request reached the board (the last
    // replies may have come from the stream before the board took the request).
    QVERIFY(board_->wait_received(reads.size() + 1, 2s));
    QCOMPARE(board_->received().size(), reads.size() + 1);
}

// Bytes that came in while the line was closed (a reply too late for its
// read, a board that chatters) are not taken as the next open's identification.
void TestFaults::bytes_left_from_before_an_open_are_dropped()
{
    auto link = connected_link();
    QVERIFY(link);
    link->close_serial_port();
    const Bytes stale{0x12, 0x34, 0x56, 0x78};
    board_->send_unasked(stale);
    // Wait until the bytes are queued on the terminal itself.
    const int fd = ::open(board_->slave_path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int queued = 0;
    QTRY_VERIFY((::ioctl(fd, TIOCINQ, &queued) == 0 && queued == int(stale.size())));
    ::close(fd);

    link->reopen_serial_port();
    QCOMPARE(view_.take_lines(),
             (QStringList{"Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'",
                          "Using serial port " + QString::fromStdString(board_->link_path()) +
                              " (baudrate: 115200 bps)"}));
    QCOMPARE(link->hw_id(), sim::kBareboneId);
}

// The device exists but the user may not open it. Tests run as root in CI,
// where permissions do not bite, so the link runs in a child process that
// gives up root for the nobody user first; as any other user the child
// takes every permission off its own pseudo-terminal instead.
void TestFaults::permission_denied()
{
    const std::string device = board_->slave_path();
    const bool root = ::geteuid() == 0;
    const passwd *const nobody = root ? ::getpwnam("nobody") : nullptr;
    if (root && nobody == nullptr)
        QSKIP("running as root and there is no 'nobody' user to drop to");
    const uid_t uid = root ? nobody->pw_uid : 0;
    const gid_t gid = root ? nobody->pw_gid : 0;
    const mode_t old_mode = [&] {
        struct stat st {};
        return ::stat(device.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t{0620};
    }();
    // Owner read and write only: root's pty is closed to nobody; this user's
    // pty is closed to itself below.
    QCOMPARE(::chmod(device.c_str(), root ? 0600 : 0000), 0);

    int pipe_fds[2];
    QCOMPARE(::pipe(pipe_fds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // The child reports one line per result on the pipe, then ends.
        ::close(pipe_fds[0]);
        std::string report;
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            report = "skip: cannot drop root: " + std::string(std::strerror(errno)) + "\n";
        } else {
            errno = 0;
            const int probe = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            report += "errno " + std::to_string(probe < 0 ? errno : 0) + "\n";
            if (probe >= 0)
                ::close(probe);
            Recorder view;
            view.field = device;
            BoardLink link(make_posix_serial_line(), [] { return std::vector<PortInfo>{}; });
            link.attach_view(&view);
            link.connect_board();
            std::uint32_t value = 1;
            const int read = link.read_port(value, 0);
            for (const QString &line : view.lines)
                report += "log " + line.toStdString() + "\n";
            report += "open " + std::to_string(int{link.is_open()}) + "\n";
            report += "read " + std::to_string(read) + " " + std::to_string(value) + "\n";
        }
        const auto written = ::write(pipe_fds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    QByteArray report;
    pollfd pfd{pipe_fds[0], POLLIN, 0};
    QDeadlineTimer deadline(10s);
    char buffer[512];
    while (!deadline.hasExpired() && ::poll(&pfd, 1, int(deadline.remainingTime())) > 0) {
        const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        report.append(buffer, int(n));
    }
    ::close(pipe_fds[0]);
    if (deadline.hasExpired())
        ::kill(child, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QCOMPARE(::chmod(device.c_str(), old_mode), 0);
    QVERIFY2(!deadline.hasExpired(), "the child did not report in time");
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, report.constData());

    const QStringList lines = QString::fromUtf8(report).split('\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.first().startsWith("skip: "))
        QSKIP(qPrintable(lines.first()));
    if (lines.value(0) != QString("errno %1").arg(EACCES))
        QSKIP(qPrintable("the device opened for the unprivileged user: " + lines.value(0)));
    const QString logged =
        QString("log Can't open serial port %1").arg(QString::fromStdString(device));
    QCOMPARE(lines.mid(1), (QStringList{logged, "open 0", "read 1 0"}));
    // Nothing reached the board.
    QVERIFY(board_->received().empty());
}

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
