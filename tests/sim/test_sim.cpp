// The simulated board: its frame parser alone, then the board on a real
// pseudo-terminal, reached the way the panel reaches it (plain POSIX open of
// the slave or the link, raw mode).

#include "board_sim.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace atlys::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(std::vector<CodecStatus>)

namespace {

// Longer than the panel ever waits for a reply (600 ms).
constexpr auto kQuiet = 700ms;
constexpr auto kArrival = 2000ms;

Bytes write_frame(unsigned port, std::uint32_t value)
{
    return {static_cast<std::uint8_t>(0x20 | port), static_cast<std::uint8_t>(value >> 24),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value)};
}

Bytes reply(std::uint32_t value)
{
    Bytes frame = write_frame(0, value);
    frame.erase(frame.begin());
    return frame;
}

QString describe(const Event &event)
{
    switch (event.kind) {
    case Event::Kind::write:
        return QStringLiteral("w%1=%2").arg(event.port).arg(event.value, 8, 16, QLatin1Char('0'));
    case Event::Kind::read:
        return QStringLiteral("r%1").arg(event.port);
    case Event::Kind::stray:
        return QStringLiteral("s%1").arg(event.byte, 2, 16, QLatin1Char('0'));
    case Event::Kind::codec_write:
        return QStringLiteral("c%1=%2").arg(event.index).arg(event.value, 4, 16, QLatin1Char('0'));
    }
    return {};
}

// The panel's end of the line.
class Line {
public:
    explicit Line(const std::string &path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY))
    {
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Line()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(const Bytes &bytes) const
    {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `count` bytes have come or `timeout` has passed.
    Bytes read_up_to(std::size_t count, std::chrono::milliseconds timeout) const
    {
        Bytes bytes;
        const auto end = Clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd pfd{fd_, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || !(pfd.revents & POLLIN))
                break;
            std::uint8_t buffer[64];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

private:
    int fd_;
};

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void parser_data();
    void parser();
    void parser_keeps_a_frame_across_feeds();

    void write_then_read_data();
    void write_then_read();
    void port15_reads_config_id_data();
    void port15_reads_config_id();
    void faulty_reply_data();
    void faulty_reply();
    void delayed_reply_keeps_order();
    void stray_bytes_are_recorded_and_reported();
    void send_unasked_reaches_the_line();
    void go_away_hangs_up_and_come_back_replaces_the_pty();
    void link_replaces_a_stale_file_and_stop_removes_it();

    void codec_status_script_data();
    void codec_status_script();
    void codec_register_write_data();
    void codec_register_write();
};

void TestSim::parser_data()
{
    QTest::addColumn<Bytes>("input");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("write frame") << Bytes{0x23, 0x00, 0x00, 0x00, 0x1F}
                                 << QStringList{"w3=0000001f"};
    QTest::newRow("write port 15 all ones")
        << Bytes{0x2F, 0xFF, 0xFF, 0xFF, 0xFF} << QStringList{"w15=ffffffff"};
    QTest::newRow("read requests, lowest and highest")
        << Bytes{0x30, 0x3F} << QStringList{"r0", "r15"};
    QTest::newRow("stray bytes around the command ranges")
        << Bytes{0x00, 0x1F, 0x40, 0x41, 0xFF} << QStringList{"s00", "s1f", "s40", "s41", "sff"};
    QTest::newRow("0x3X and 0x2X inside a write frame are data")
        << Bytes{0x25, 0x31, 0x3F, 0x20, 0x2F} << QStringList{"w5=313f202f"};
    QTest::newRow("write, read and stray back to back")
        << Bytes{0x22, 0x00, 0x00, 0x01, 0x00, 0x32, 0x0A}
        << QStringList{"w2=00000100", "r2", "s0a"};
    QTest::newRow("unfinished write frame") << Bytes{0x21, 0x12, 0x34} << QStringList{};
}

void TestSim::parser()
{
    QFETCH(Bytes, input);
    QFETCH(QStringList, events);

    FrameParser parser;
    QStringList seen;
    for (std::uint8_t byte : input) {
        if (const auto event = parser.feed(byte))
            seen << describe(*event);
    }
    QCOMPARE(seen, events);
}

void TestSim::parser_keeps_a_frame_across_feeds()
{
    FrameParser parser;
    const Bytes frame = write_frame(4, 0x12345678);
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        QVERIFY(!parser.feed(frame[i]).has_value());
        QVERIFY(parser.in_frame());
    }
    const auto event = parser.feed(frame.back());
    QVERIFY(event.has_value());
    QVERIFY(!parser.in_frame());
    QCOMPARE(describe(*event), QStringLiteral("w4=12345678"));
    // The next byte starts afresh.
    QCOMPARE(describe(*parser.feed(0x34)), QStringLiteral("r4"));
}

void TestSim::write_then_read_data()
{
    QTest::addColumn<unsigned>("port");
    QTest::addColumn<std::uint32_t>("value");

    QTest::newRow("port 0, zero") << 0u << std::uint32_t{0};
    QTest::newRow("port 3, 0x1F") << 3u << std::uint32_t{0x1F};
    QTest::newRow("port 7, top and bottom bits") << 7u << std::uint32_t{0x80000001};
    QTest::newRow("port 14, all ones") << 14u << std::uint32_t{0xFFFFFFFF};
}

void TestSim::write_then_read()
{
    QFETCH(unsigned, port);
    QFETCH(std::uint32_t, value);

    BoardSim sim;
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    Bytes sent = write_frame(port, value);
    sent.push_back(static_cast<std::uint8_t>(0x30 | port));
    QVERIFY(line.send(sent));
    QCOMPARE(line.read_up_to(4, kArrival), reply(value));
    QCOMPARE(sim.port_value(port), value);
    QVERIFY(sim.wait_received(sent.size(), kArrival));
    QCOMPARE(sim.received(), sent);
}

void TestSim::port15_reads_config_id_data()
{
    QTest::addColumn<std::uint32_t>("id");
    QTest::newRow("barebone") << kBareboneId;
    QTest::newRow("audio codec") << kAudioCodecId;
    QTest::newRow("unknown") << std::uint32_t{0xDEADBEEF};
}

void TestSim::port15_reads_config_id()
{
    QFETCH(std::uint32_t, id);

    BoardSim sim(id);
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    // A write to port 15 does not change what it reads.
    QVERIFY(line.send(write_frame(15, 1)));
    QVERIFY(line.send({0x3F}));
    QCOMPARE(line.read_up_to(4, kArrival), reply(id));
    QCOMPARE(sim.port_value(15), id);
}

void TestSim::faulty_reply_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<std::size_t>("expected");

    QTest::newRow("silent") << Fault::silent << std::size_t{0};
    QTest::newRow("short") << Fault::short_reply << std::size_t{3};
    QTest::newRow("long") << Fault::long_reply << std::size_t{5};
}

void TestSim::faulty_reply()
{
    QFETCH(Fault, fault);
    QFETCH(std::size_t, expected);

    constexpr std::uint32_t kValue = 0x11223344;
    constexpr std::uint32_t kOther = 0x55667788;
    BoardSim sim;
    sim.set_port_value(5, kValue);
    sim.set_port_value(6, kOther);
    sim.set_behaviour(5, {fault, 0ms});
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    QVERIFY(line.send({0x35}));
    // Ask for more than any fault answers, and wait longer than the panel would.
    const Bytes got = line.read_up_to(6, kQuiet);
    Bytes want = reply(kValue);
    want.push_back(kExtraByte);
    want.resize(expected);
    QCOMPARE(got, want);

    // The fault is the port's own: the next port answers in full, and
    // nothing of the faulty reply is left over.
    QVERIFY(line.send({0x36}));
    QCOMPARE(line.read_up_to(5, kQuiet), reply(kOther));

    sim.clear_faults();
    QVERIFY(line.send({0x35}));
    QCOMPARE(line.read_up_to(4, kArrival), reply(kValue));
}

void TestSim::delayed_reply_keeps_order()
{
    constexpr auto kDelay = 300ms;
    BoardSim sim;
    sim.set_port_value(1, 0x01010101);
    sim.set_port_value(2, 0x02020202);
    sim.set_behaviour(1, {Fault::delayed, kDelay});
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    const auto asked = Clock::now();
    QVERIFY(line.send({0x31, 0x32}));
    const Bytes first = line.read_up_to(4, kDelay + kArrival);
    const auto answered = Clock::now();
    QCOMPARE(first, reply(0x01010101));
    QVERIFY2(answered - asked >= kDelay, "the delayed reply came early");
    // The read of port 2 came meanwhile; its reply waits its turn.
    QCOMPARE(line.read_up_to(4, kArrival), reply(0x02020202));
}

void TestSim::stray_bytes_are_recorded_and_reported()
{
    // Declared before the board, so they outlive its thread's last callback.
    std::mutex mutex;
    QStringList events;
    BoardSim sim;
    sim.set_event_callback([&](const Event &event) {
        std::lock_guard<std::mutex> lock(mutex);
        events << describe(event);
    });
    const auto event_count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    };
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    const Bytes sent{0x41, 0x0D, 0x27, 0x00, 0x00, 0x00, 0x09, 0x37};
    QVERIFY(line.send(sent));
    QCOMPARE(line.read_up_to(4, kArrival), reply(9));
    QVERIFY(sim.wait_received(sent.size(), kArrival));
    QCOMPARE(sim.received(), sent);
    QTRY_COMPARE(event_count(), 4);
    {
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(events, (QStringList{"s41", "s0d", "w7=00000009", "r7"}));
    }

    sim.clear_received();
    QVERIFY(sim.received().empty());
}

void TestSim::send_unasked_reaches_the_line()
{
    BoardSim sim;
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    const Bytes bytes{0x00, 0xA5, 0x3F, 0xFF};
    sim.send_unasked(bytes);
    QCOMPARE(line.read_up_to(bytes.size() + 1, kQuiet), bytes);
}

void TestSim::go_away_hangs_up_and_come_back_replaces_the_pty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string link = dir.filePath("atlys-board").toStdString();
    BoardSim sim;
    QVERIFY(sim.start(link));
    QCOMPARE(sim.device(), link);
    Line old_line(link);
    QVERIFY(old_line.is_open());
    QVERIFY(old_line.send({0x3F}));
    QCOMPARE(old_line.read_up_to(4, kArrival), reply(kBareboneId));

    sim.go_away();
    QVERIFY(!sim.present());
    pollfd pfd{old_line.fd(), POLLIN, 0};
    QCOMPARE(::poll(&pfd, 1, 2000), 1);
    QVERIFY(pfd.revents & POLLHUP);
    std::uint8_t byte = 0;
    const ssize_t n = ::read(old_line.fd(), &byte, 1);
    QVERIFY2(n == 0 || (n < 0 && errno == EIO), "a hung-up line still reads");
    struct stat st {};
    QVERIFY2(::lstat(link.c_str(), &st) != 0, "the link outlived the board");

    QVERIFY(sim.come_back());
    QVERIFY(sim.present());
    char target[256] = {};
    QVERIFY(::readlink(link.c_str(), target, sizeof target - 1) > 0);
    QCOMPARE(std::string(target), sim.slave_path());
    Line new_line(link);
    QVERIFY(new_line.is_open());
    QVERIFY(new_line.send({0x3F}));
    QCOMPARE(new_line.read_up_to(4, kArrival), reply(kBareboneId));
    // What was received is kept across the unplugging.
    QVERIFY(sim.wait_received(2, kArrival));
    QCOMPARE(sim.received(), (Bytes{0x3F, 0x3F}));
}

void TestSim::link_replaces_a_stale_file_and_stop_removes_it()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string link = dir.filePath("atlys-board").toStdString();
    QVERIFY(::symlink("/nonexistent/atlys-gone", link.c_str()) == 0);

    BoardSim sim;
    QVERIFY(sim.start(link));
    char target[256] = {};
    QVERIFY(::readlink(link.c_str(), target, sizeof target - 1) > 0);
    QCOMPARE(std::string(target), sim.slave_path());
    Line line(link);
    QVERIFY(line.is_open());

    sim.stop();
    QVERIFY(!sim.present());
    struct stat st {};
    QVERIFY2(::lstat(link.c_str(), &st) != 0, "stop() left the link behind");
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList{});
}

void TestSim::codec_status_script_data()
{
    QTest::addColumn<std::uint32_t>("id");
    QTest::addColumn<std::vector<CodecStatus>>("script");
    QTest::addColumn<std::uint32_t>("extra_bits");
    // One entry per read of port 2: the status answered, or -1 for no answer.
    QTest::addColumn<QList<qint64>>("answers");

    const auto ready = CodecStatus::ready;
    const auto not_ready = CodecStatus::not_ready;
    const auto silent = CodecStatus::silent;
    QTest::newRow("ready at once") << kAudioCodecId << codec_script(CodecReadiness::now)
                                   << std::uint32_t{0} << QList<qint64>{1, 1, 1};
    QTest::newRow("ready at the second read")
        << kAudioCodecId << codec_script(CodecReadiness::second) << std::uint32_t{0}
        << QList<qint64>{0, 1, 1};
    QTest::newRow("never ready") << kAudioCodecId << codec_script(CodecReadiness::never)
                                 << std::uint32_t{0} << QList<qint64>{0, 0, 0};
    QTest::newRow("silent") << kAudioCodecId << codec_script(CodecReadiness::silent)
                            << std::uint32_t{0} << QList<qint64>{-1, -1};
    QTest::newRow("empty script is ready")
        << kAudioCodecId << std::vector<CodecStatus>{} << std::uint32_t{0} << QList<qint64>{1};
    QTest::newRow("mixed script, last entry repeats")
        << kAudioCodecId << std::vector<CodecStatus>{silent, not_ready, ready, not_ready}
        << std::uint32_t{0} << QList<qint64>{-1, 0, 1, 0, 0};
    QTest::newRow("other status bits ride along")
        << kAudioCodecId << codec_script(CodecReadiness::second) << std::uint32_t{0xFFFF0003}
        << QList<qint64>{0xFFFF0002, 0xFFFF0003};
    // Without the codec, port 2 is a plain register: the script is not played.
    QTest::newRow("barebone board ignores the script")
        << kBareboneId << codec_script(CodecReadiness::silent) << std::uint32_t{0}
        << QList<qint64>{0x1234, 0x1234};
}

void TestSim::codec_status_script()
{
    QFETCH(std::uint32_t, id);
    QFETCH(std::vector<CodecStatus>, script);
    QFETCH(std::uint32_t, extra_bits);
    QFETCH(QList<qint64>, answers);

    BoardSim sim(id);
    sim.set_port_value(kCodecDataPort, 0x1234);
    sim.set_codec_ready_script(script);
    sim.set_codec_status_bits(extra_bits);
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    for (int i = 0; i < answers.size(); ++i) {
        QVERIFY(line.send({0x32}));
        if (answers[i] < 0) {
            QCOMPARE(line.read_up_to(4, kQuiet), Bytes{});
        } else {
            QCOMPARE(line.read_up_to(4, kArrival), reply(std::uint32_t(answers[i])));
        }
    }
    QVERIFY(sim.wait_received(std::size_t(answers.size()), kArrival));
    const auto reads = sim.codec_status_reads();
    QCOMPARE(reads.size(), id == kAudioCodecId ? std::size_t(answers.size()) : std::size_t{0});
    QVERIFY(std::is_sorted(reads.begin(), reads.end()));
    // The stored port 2 value is untouched by the status answers.
    QCOMPARE(sim.port_value(kCodecDataPort), 0x1234u);
}

void TestSim::codec_register_write_data()
{
    QTest::addColumn<std::uint32_t>("id");
    QTest::addColumn<int>("forced"); // -1: follows the id, 0: off, 1: on
    QTest::addColumn<std::uint32_t>("strobe");
    QTest::addColumn<bool>("recorded");

    QTest::newRow("codec board, strobe 1") << kAudioCodecId << -1 << std::uint32_t{1} << true;
    QTest::newRow("codec board, strobe 2") << kAudioCodecId << -1 << std::uint32_t{2} << false;
    QTest::newRow("codec board, strobe 0") << kAudioCodecId << -1 << std::uint32_t{0} << false;
    QTest::newRow("barebone board") << kBareboneId << -1 << std::uint32_t{1} << false;
    QTest::newRow("codec enabled on another id") << kBareboneId << 1 << std::uint32_t{1} << true;
    QTest::newRow("codec disabled on the codec id")
        << kAudioCodecId << 0 << std::uint32_t{1} << false;
}

void TestSim::codec_register_write()
{
    QFETCH(std::uint32_t, id);
    QFETCH(int, forced);
    QFETCH(std::uint32_t, strobe);
    QFETCH(bool, recorded);

    // Declared before the board, so they outlive its thread's last callback.
    std::mutex mutex;
    QStringList events;
    BoardSim sim(id);
    if (forced >= 0)
        sim.enable_codec(forced == 1);
    QCOMPARE(sim.codec_enabled(), forced >= 0 ? forced == 1 : id == kAudioCodecId);
    sim.set_event_callback([&](const Event &event) {
        std::lock_guard<std::mutex> lock(mutex);
        events << describe(event);
    });
    QVERIFY(sim.start());
    Line line(sim.slave_path());
    QVERIFY(line.is_open());

    // A value and an index beyond the codec's 16 and 5 bits are kept as received.
    Bytes sent = write_frame(kCodecDataPort, 0x0001ABCD);
    for (const Bytes &frame : {write_frame(kCodecIndexPort, 0x25), write_frame(15, strobe)})
        sent.insert(sent.end(), frame.begin(), frame.end());
    QVERIFY(line.send(sent));
    QVERIFY(sim.wait_received(sent.size(), kArrival));

    QStringList want{"w2=0001abcd", "w3=00000025",
                     QStringLiteral("w15=%1").arg(strobe, 8, 16, QLatin1Char('0'))};
    if (recorded)
        want << "c37=1abcd";
    const auto snapshot = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    };
    QTRY_COMPARE(snapshot(), want);
    const std::vector<CodecWrite> writes =
        recorded ? std::vector<CodecWrite>{{0x25, 0x0001ABCD}} : std::vector<CodecWrite>{};
    QCOMPARE(sim.codec_writes(), writes);
    // Port 15 still reads as the configuration id.
    QVERIFY(line.send({0x3F}));
    QCOMPARE(line.read_up_to(4, kArrival), reply(id));
}

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
