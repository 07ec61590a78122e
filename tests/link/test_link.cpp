// The board link against the simulated board on a real pseudo-terminal.

#include "board_link.h"
#include "board_sim.h"
#include "config_file.h"
#include "link_fixture.h"

#include <QtTest>

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

using namespace atlys;
using namespace std::chrono_literals;

namespace {

// Forwards to the real termios line and counts the writes, so a test can
// see that a frame leaves one byte per write.
class CountingLine : public SerialLine {
public:
    explicit CountingLine(std::vector<std::size_t> &writes)
        : real_(make_posix_serial_line()), writes_(writes)
    {
    }
    bool open(const std::string &device, std::int32_t baud) override
    {
        return real_->open(device, baud);
    }
    void close() override { real_->close(); }
    bool is_open() const override { return real_->is_open(); }
    bool write(const std::uint8_t *data, std::size_t count) override
    {
        writes_.push_back(count);
        return real_->write(data, count);
    }
    std::size_t read(std::uint8_t *buffer, std::size_t count,
                     std::chrono::milliseconds timeout) override
    {
        return real_->read(buffer, count, timeout);
    }

private:
    std::unique_ptr<SerialLine> real_;
    std::vector<std::size_t> &writes_;
};

QByteArray file_bytes(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return QByteArray::fromStdString(s.str());
}

void put_file(const char *path, const QByteArray &contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.constData(), contents.size());
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void write_frames();
    void read_replies();
    void short_and_long_replies();
    void silent_board_times_out();
    void closed_line();
    void board_gone_ends_read_at_once();
    void line_speed_data();
    void line_speed();

    void connect_outcomes_data();
    void connect_outcomes();
    void connect_name_too_long();
    void reopen_uses_field_and_speed();
    void scan_finds_board_on_third_name();
    void scan_finds_nothing();

    void load_config_data();
    void load_config();
    void save_config_exact_bytes();
    void save_refusals_leave_file_data();
    void save_refusals_leave_file();
    void save_failure_reported();

private:
    std::unique_ptr<BoardLink> make_link(std::vector<std::string> devices);

    std::unique_ptr<QTemporaryDir> dir_;
    QString old_cwd_;
    std::unique_ptr<sim::BoardSim> board_;
    Recorder view_;
    std::vector<std::size_t> writes_;
};

void TestLink::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    old_cwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
    board_ = std::make_unique<sim::BoardSim>();
    QVERIFY2(board_->start(), "no pseudo-terminal could be opened");
    view_ = Recorder{};
    writes_.clear();
}

void TestLink::cleanup()
{
    board_.reset();
    QDir::setCurrent(old_cwd_);
    dir_.reset();
}

std::unique_ptr<BoardLink> TestLink::make_link(std::vector<std::string> devices)
{
    auto link = std::make_unique<BoardLink>(std::make_unique<CountingLine>(writes_), [devices] {
        std::vector<PortInfo> ports;
        for (std::size_t k = 0; k < devices.size(); ++k)
            ports.push_back(listed(k, devices[k]));
        return ports;
    });
    link->attach_view(&view_);
    return link;
}

void TestLink::write_frames()
{
    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    QCOMPARE(link->write_port(0xFFFFFFFF, 3), kDone);
    QVERIFY(board_->wait_received(5, 2s));
    QCOMPARE(as_bytes(board_->received()), QByteArray::fromHex("23ffffffff"));
    QCOMPARE(writes_, (std::vector<std::size_t>{1, 1, 1, 1, 1}));

    QCOMPARE(link->write_port(1, 16), kRefused);
    QCOMPARE(link->write_port(1, 0xFFFFFFFFu), kRefused);
    QCOMPARE(writes_.size(), std::size_t{5}); // nothing more left
    QTRY_COMPARE(board_->port_value(3), 0xFFFFFFFFu);
}

void TestLink::read_replies()
{
    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    board_->set_port_value(4, 0x80000001);
    std::uint32_t value = 0;
    QCOMPARE(link->read_port(value, 4), kDone);
    QCOMPARE(value, 0x80000001u);
    QCOMPARE(link->read_port(value, 15), kDone);
    QCOMPARE(value, sim::kBareboneId);
    QCOMPARE(as_bytes(board_->received()), QByteArray::fromHex("343f"));
    QCOMPARE(view_.statuses, (QList<bool>{true, true}));
}

void TestLink::short_and_long_replies()
{
    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    board_->set_port_value(1, 0x11223344);
    board_->set_port_value(2, 0x55667788);
    std::uint32_t value = 1;

    // Three bytes: the read times out, the value is 0, the bytes are consumed.
    board_->set_behaviour(1, {sim::Fault::short_reply, 0ms});
    QCOMPARE(link->read_port(value, 1), kTimeout);
    QCOMPARE(value, 0u);
    board_->clear_faults();
    QCOMPARE(link->read_port(value, 2), kDone);
    QCOMPARE(value, 0x55667788u);

    // Five bytes: the fifth stays queued and leads the next reply.
    board_->set_behaviour(1, {sim::Fault::long_reply, 0ms});
    QCOMPARE(link->read_port(value, 1), kDone);
    QCOMPARE(value, 0x11223344u);
    board_->clear_faults();
    QCOMPARE(link->read_port(value, 2), kDone);
    QCOMPARE(value, (std::uint32_t{sim::kExtraByte} << 24) | 0x556677u);
    QCOMPARE(view_.statuses, (QList<bool>{false, true, true, true}));
}

void TestLink::silent_board_times_out()
{
    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    board_->set_behaviour(5, {sim::Fault::silent, 0ms});
    std::uint32_t value = 7;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link->read_port(value, 5), kTimeout);
    const auto elapsed = timer.elapsed();
    QCOMPARE(value, 0u);
    QCOMPARE(view_.statuses, QList<bool>{false});
    // The reply window is 600 ms from the start of the read.
    QVERIFY2(elapsed >= 595 && elapsed < 1500, qPrintable(QString::number(elapsed)));
}

void TestLink::closed_line()
{
    auto link = make_link({board_->device()});
    std::uint32_t value = 9;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link->write_port(5, 3), kNotSent);
    QCOMPARE(link->read_port(value, 3), kTimeout);
    QVERIFY(timer.elapsed() < 300);
    QCOMPARE(value, 0u);
    QCOMPARE(view_.statuses, QList<bool>{false});
    QVERIFY(board_->received().empty());
}

void TestLink::board_gone_ends_read_at_once()
{
    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    board_->go_away();
    std::uint32_t value = 0;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link->read_port(value, 0), kTimeout);
    QVERIFY2(timer.elapsed() < 300, "a hung-up line must end the read at once");
    QCOMPARE(link->write_port(1, 0), kNotSent);
}

void TestLink::line_speed_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("default") << 115200;
    QTest::newRow("9600") << 9600;
    QTest::newRow("non-standard") << 250000;
}

void TestLink::line_speed()
{
    QFETCH(int, baud);
    put_file(kConfigFileName, QByteArray("SIM  ") + QByteArray::number(baud) + "\r\n");
    auto link = make_link({board_->slave_path()});
    view_.field.clear();
    link->load_config();
    QCOMPARE(view_.field, std::string("SIM"));
    view_.field = "COM1";
    link->connect_board();
    QCOMPARE(view_.lines.last(), QString("Using serial port COM1 (baudrate: %1 bps)").arg(baud));
    // The pty keeps the speed it was given: read it back through our own descriptor.
    const int fd = ::open(board_->slave_path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    struct termios2 tio {};
    QCOMPARE(::ioctl(fd, TCGETS2, &tio), 0);
    ::close(fd);
    QCOMPARE(int(tio.c_ospeed), baud);
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void TestLink::connect_outcomes_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("status"); // -1 none, 0 timeout, 1 data ok
    QTest::newRow("barebone") << quint32(sim::kBareboneId) << int(sim::Fault::none)
                              << QStringList{"Detected HW configuration 'Atlys S6 QOR 2016/17 "
                                             "barebone'",
                                             "Using serial port COM1 (baudrate: 115200 bps)"}
                              << true << 1;
    QTest::newRow("unknown id") << 0x20161702u << int(sim::Fault::none)
                                << QStringList{"Invalid HW id, closing serial port"} << false << 1;
    QTest::newRow("silent") << quint32(sim::kBareboneId) << int(sim::Fault::silent)
                            << QStringList{"Invalid HW id, closing serial port"} << false << 0;
    QTest::newRow("short reply") << quint32(sim::kBareboneId) << int(sim::Fault::short_reply)
                                 << QStringList{"Invalid HW id, closing serial port"} << false << 0;
}

void TestLink::connect_outcomes()
{
    QFETCH(quint32, id);
    QFETCH(int, fault);
    QFETCH(QStringList, lines);
    QFETCH(bool, open);
    QFETCH(int, status);
    board_->set_config_id(id);
    board_->set_behaviour(15, {sim::Fault(fault), 0ms});
    auto link = make_link({board_->device()});
    link->connect_board();
    QCOMPARE(view_.lines, lines);
    QCOMPARE(link->is_open(), open);
    QCOMPARE(view_.statuses, QList<bool>{status == 1});
    QCOMPARE(link->hw_id(), fault == int(sim::Fault::none) ? id : 0u);
    QCOMPARE(as_bytes(board_->received()), QByteArray::fromHex("3f"));
    QCOMPARE(QString::fromStdString(link->port_name()), QString("COM1"));
}

void TestLink::connect_name_too_long()
{
    auto link = make_link({board_->device()});
    view_.field = std::string(300, 'x');
    link->connect_board();
    QCOMPARE(view_.lines.size(), 1);
    QVERIFY(view_.lines[0].startsWith("Can't open serial port: the name is too long (300"));
    QVERIFY(!link->is_open());

    // The empty name of an empty config.dat is simply a port that cannot be opened.
    view_.lines.clear();
    view_.field.clear();
    link->connect_board();
    QCOMPARE(view_.lines, QStringList{"Can't open serial port "});
    // COM2 with only one port listed designates nothing.
    view_.lines.clear();
    view_.field = "COM2";
    link->connect_board();
    QCOMPARE(view_.lines, QStringList{"Can't open serial port COM2"});
    QVERIFY(board_->received().empty());
}

void TestLink::reopen_uses_field_and_speed()
{
    sim::BoardSim second(sim::kAudioCodecId);
    QVERIFY(second.start());
    put_file(kConfigFileName, "COM1  57600\n");
    auto link = make_link({board_->device(), second.device()});
    link->load_config();
    link->connect_board();
    QVERIFY(link->is_open());
    view_.lines.clear();
    view_.field = "COM2";
    put_file(kConfigFileName, "COM1  9600\n"); // reopening does not read the file again
    link->reopen_serial_port();
    QCOMPARE(view_.lines.first(),
             QString("Detected HW configuration 'Atlys S6 QOR 2016/17 Audio Codec'"));
    QVERIFY(view_.lines.contains("Using serial port COM2 (baudrate: 57600 bps)"));
    QCOMPARE(link->hw_index(), 1u);
    // The first board's line was closed: what follows goes to the second board only.
    const auto first_bytes = board_->received().size();
    QCOMPARE(link->write_port(0x1234, 4), kDone);
    QTRY_COMPARE(second.port_value(4), 0x1234u);
    QCOMPARE(board_->received().size(), first_bytes);
}

void TestLink::scan_finds_board_on_third_name()
{
    sim::BoardSim stranger(0x12345678);
    QVERIFY(stranger.start());
    auto link = make_link(
        {dir_->filePath("no-such-device").toStdString(), stranger.device(), board_->device()});
    link->scan_serial_ports();
    QCOMPARE(view_.lines,
             (QStringList{"Trying COM1...", "Trying COM2...", "Invalid HW id", "Trying COM3...",
                          "Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'",
                          "Using serial port COM3"}));
    QCOMPARE(view_.field, std::string("COM3"));
    QVERIFY(link->is_open());
    QCOMPARE(as_bytes(stranger.received()), QByteArray::fromHex("3f"));
    // The line found stays open and usable.
    std::uint32_t value = 0;
    QCOMPARE(link->read_port(value, 15), kDone);
}

void TestLink::scan_finds_nothing()
{
    auto link = make_link({});
    QVERIFY(link->open_serial_port() == false);
    view_.lines.clear();
    QElapsedTimer timer;
    timer.start();
    link->scan_serial_ports();
    qInfo("scan over 29 names that cannot be opened: %lld ms", timer.elapsed());
    QCOMPARE(view_.lines.size(), 29);
    QCOMPARE(view_.lines.first(), QString("Trying COM1..."));
    QCOMPARE(view_.lines.last(), QString("Trying COM29..."));
    QCOMPARE(view_.field, std::string("COM29"));
    QVERIFY(!link->is_open());
}

void TestLink::load_config_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("no file") << false << QByteArray() << "COM1" << 115200
                             << QStringList{"Error: can't open file 'config.dat'\n"};
    QTest::newRow("name and speed")
        << true << QByteArray("COM4  9600\r\n") << "COM4" << 9600 << QStringList{};
    QTest::newRow("name only") << true << QByteArray("COM4") << "COM4" << 115200 << QStringList{};
    QTest::newRow("empty file") << true << QByteArray() << "" << 115200 << QStringList{};
    QTest::newRow("saved empty field")
        << true << QByteArray("  9600\r\n") << "9600" << 115200 << QStringList{};
    QTest::newRow("zero speed") << true << QByteArray("COM2 0") << "COM2" << 115200
                                << QStringList{};
    QTest::newRow("name too long")
        << true << QByteArray(300, 'a') + "  9600"
        << "" << 9600
        << QStringList{"Error: the port name in 'config.dat' is too long (300 characters, at most "
                       "255)"};
    QTest::newRow("NUL bytes") << true << QByteArray("\0\0\0 4800", 8) << "" << 4800
                               << QStringList{"Error: the port name in 'config.dat' holds control "
                                              "characters"};
}

void TestLink::load_config()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, contents);
    QFETCH(QString, field);
    QFETCH(int, baud);
    QFETCH(QStringList, lines);
    if (exists)
        put_file(kConfigFileName, contents);
    auto link = make_link({});
    link->load_config();
    QCOMPARE(QString::fromStdString(view_.field), field);
    QCOMPARE(link->baud_rate(), baud);
    QCOMPARE(view_.lines, lines);
}

void TestLink::save_config_exact_bytes()
{
    put_file(kConfigFileName, "/dev/ttyUSB3  230400\n");
    auto link = make_link({});
    link->load_config();
    view_.field = "COM4";
    link->save_config();
    QVERIFY(view_.lines.isEmpty());
    QCOMPARE(file_bytes(kConfigFileName), QByteArray("COM4  230400\r\n"));
    // Round trip: what was saved loads back.
    view_.field = "other";
    auto again = make_link({});
    again->load_config();
    QCOMPARE(view_.field, std::string("COM4"));
    QCOMPARE(again->baud_rate(), 230400);
    QVERIFY(QDir(dir_->path()).entryList(QDir::Files) == QStringList{"config.dat"});
}

void TestLink::save_refusals_leave_file_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("line");
    QTest::newRow("empty") << QByteArray()
                           << "Error: the port name is empty: 'config.dat' is left as it was";
    QTest::newRow("white space") << QByteArray("my port")
                                 << "Error: the port name 'my port' holds white space and would "
                                    "not read back: 'config.dat' is left as it was";
    QTest::newRow("too long") << QByteArray(256, 'p')
                              << "Error: the port name is too long (256 characters, at most 255): "
                                 "'config.dat' is left as it was";
}

void TestLink::save_refusals_leave_file()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, line);
    put_file(kConfigFileName, "COM7  9600\r\n");
    auto link = make_link({});
    view_.field = field.toStdString();
    link->save_config();
    QCOMPARE(view_.lines, QStringList{line});
    QCOMPARE(file_bytes(kConfigFileName), QByteArray("COM7  9600\r\n"));
}

void TestLink::save_failure_reported()
{
    // A folder where the file should be: nothing can be written over it.
    QVERIFY(QDir(dir_->path()).mkdir(kConfigFileName));
    auto link = make_link({});
    view_.field = "COM2";
    link->save_config();
    QCOMPARE(view_.lines, QStringList{"Error: can't open file 'config.dat'\n"});
    QVERIFY(QFileInfo(kConfigFileName).isDir());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{}); // no temporary left
}

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
