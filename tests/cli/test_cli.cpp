// atlys-cli as a user runs it: the built program against the simulated
// board on a pty, checking the exact frames the board received, the exact
// output on each stream and the exit code. Every run is given a port list
// of its own (--port-list), so no test ever looks at the machine's serial ports.

#include "board_sim.h"
#include "exit_codes.h"
#include "help_text.h"

#include <QtTest>

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <mutex>

using namespace atlys;
using namespace atlys::cli;
using namespace std::chrono_literals;

namespace {

struct CliResult {
    bool finished = false;
    int code = -1;
    QString out;
    QString err;
};

QByteArray hex_of(const std::vector<std::uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex();
}

const QRegularExpression kTimePrefix(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )");

// Lines of `text` with their time stamp checked and taken off.
QStringList without_times(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
        const auto match = kTimePrefix.match(line);
        lines << (match.hasMatch() ? line.mid(match.capturedLength()) : "NO TIME: " + line);
    }
    return lines;
}

int slave_speed(const std::string &slave)
{
    const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct termios2 tio {};
    const int rc = ::ioctl(fd, TCGETS2, &tio);
    ::close(fd);
    return rc == 0 ? int(tio.c_ospeed) : -1;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void id_data();
    void id();
    void read_data();
    void read();
    void read_stops_at_silent_port();
    void write_data();
    void write();
    void usage_errors_data();
    void usage_errors();
    void cannot_open_data();
    void cannot_open();

    void scan_reports_every_known_board();
    void scan_outcomes_data();
    void scan_outcomes();
    void scan_all_goes_past_com29();

    void codec_write_data();
    void codec_write();

    void run_file_data();
    void run_file();
    void run_from_stdin();
    void run_file_missing();

    void watch_survives_board_going_away();

    void config_defaulting_data();
    void config_defaulting();
    void log_appends_every_transfer();
    void help_for_every_command();

private:
    CliResult cli(QStringList args, const QByteArray &input = {});
    QString expand(QString text) const;
    QStringList expand(QStringList list) const;
    void set_ports(const QStringList &devices);
    void put(const QString &name, const QByteArray &contents);
    // The bytes the board received, once at least `expected` hex digits' worth arrived.
    QByteArray received(const QByteArray &expected, sim::BoardSim *board = nullptr);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<sim::BoardSim> board_;
    QString list_path_;
};

void TestCli::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    board_ = std::make_unique<sim::BoardSim>();
    QVERIFY2(board_->start(dir_->filePath("board").toStdString()),
             "no pseudo-terminal could be opened");
    list_path_ = dir_->filePath("ports.list");
    set_ports({});
}

void TestCli::cleanup()
{
    board_.reset();
    dir_.reset();
}

CliResult TestCli::cli(QStringList args, const QByteArray &input)
{
    CliResult result;
    QProcess process;
    process.setWorkingDirectory(dir_->path());
    process.start(ATLYS_CLI_PATH, QStringList{"--port-list", list_path_} + args);
    if (!process.waitForStarted(5000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    result.finished =
        process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
    if (!result.finished)
        process.kill();
    result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString TestCli::expand(QString text) const
{
    return text.replace("%DEV", QString::fromStdString(board_->device()))
        .replace("%DIR", dir_->path());
}

QStringList TestCli::expand(QStringList list) const
{
    for (QString &s : list)
        s = expand(s);
    return list;
}

void TestCli::set_ports(const QStringList &devices)
{
    put("ports.list", devices.isEmpty() ? QByteArray() : devices.join('\n').toUtf8() + '\n');
}

void TestCli::put(const QString &name, const QByteArray &contents)
{
    QFile file(dir_->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QByteArray TestCli::received(const QByteArray &expected, sim::BoardSim *board)
{
    board = board ? board : board_.get();
    board->wait_received(std::size_t(expected.size() / 2), 2s);
    return hex_of(board->received());
}

// ---- id, read, write -------------------------------------------------------------

void TestCli::id_data()
{
    QTest::addColumn<quint32>("config");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("barebone") << quint32(sim::kBareboneId) << int(sim::Fault::none) << QStringList{}
                              << kExitSuccess << "Atlys S6 QOR 2016/17 barebone (0x20161700)\n"
                              << "";
    QTest::newRow("codec json")
        << quint32(sim::kAudioCodecId) << int(sim::Fault::none) << QStringList{"--json"}
        << kExitSuccess
        << "{\"name\":\"Atlys S6 QOR 2016/17 Audio Codec\",\"id\":\"0x20161701\",\"codec\":true}\n"
        << "";
    QTest::newRow("unknown id")
        << 0x12345678u << int(sim::Fault::none) << QStringList{} << kExitUnknownBoard << ""
        << "atlys-cli: unknown board on %DEV: port 15 reads 0x12345678, which is no known "
           "configuration\n";
    QTest::newRow("silent")
        << quint32(sim::kBareboneId) << int(sim::Fault::silent) << QStringList{} << kExitNoAnswer
        << ""
        << "atlys-cli: no answer from the board on %DEV: port 15 did not answer "
           "within 600 ms (wrong port or speed?)\n";
    QTest::newRow("three bytes") << quint32(sim::kBareboneId) << int(sim::Fault::short_reply)
                                 << QStringList{} << kExitNoAnswer << ""
                                 << "atlys-cli: no answer from the board on %DEV: port 15 did not "
                                    "answer within 600 ms (wrong port or speed?)\n";
}

void TestCli::id()
{
    QFETCH(quint32, config);
    QFETCH(int, fault);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    board_->set_config_id(config);
    board_->set_behaviour(15, {sim::Fault(fault), 0ms});
    const CliResult r = cli(QStringList{"id", "--port", expand("%DEV")} + args);
    QVERIFY(r.finished);
    QCOMPARE(r.err, expand(err));
    QCOMPARE(r.out, out);
    QCOMPARE(r.code, code);
    QCOMPARE(received("3f"), QByteArray("3f"));
}

void TestCli::read_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QByteArray>("frames");
    QTest::newRow("one port") << QStringList{"read", "3"} << "0000001F\n" << QByteArray("3f33");
    QTest::newRow("in the order given, decimal")
        << QStringList{"read", "4", "3", "--dec"} << "-2 4294967294\n31 31\n"
        << QByteArray("3f3433");
    QTest::newRow("json")
        << QStringList{"read", "0", "--json"}
        << "{\"port\":0,\"value\":2147483648,\"hex\":\"80000000\",\"signed\":-2147483648}\n"
        << QByteArray("3f30");
    QTest::newRow("--hex changes entry, not output")
        << QStringList{"read", "4", "--hex"} << "FFFFFFFE\n"
        << QByteArray("3f34");
    QTest::newRow("raw id without identification")
        << QStringList{"read", "15", "--no-identify"} << "20161700\n"
        << QByteArray("3f");
}

void TestCli::read()
{
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QByteArray, frames);
    board_->set_port_value(0, 0x80000000);
    board_->set_port_value(3, 0x1F);
    board_->set_port_value(4, 0xFFFFFFFE);
    const CliResult r = cli(args + QStringList{"--port", expand("%DEV")});
    QVERIFY(r.finished);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, out);
    QCOMPARE(r.code, kExitSuccess);
    QCOMPARE(received(frames), frames);
}

void TestCli::read_stops_at_silent_port()
{
    board_->set_port_value(4, 44);
    board_->set_behaviour(5, {sim::Fault::silent, 0ms});
    const CliResult r = cli({"read", "4", "5", "6", "--dec", "--port", expand("%DEV")});
    QVERIFY(r.finished);
    QCOMPARE(r.out, QString("44 44\n"));
    QCOMPARE(r.err, QString("atlys-cli: port 5 did not answer within 600 ms\n"));
    QCOMPARE(r.code, kExitNoAnswer);
    QCOMPARE(received("3f3435"), QByteArray("3f3435")); // port 6 never asked
}

void TestCli::write_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<int>("port");
    QTest::addColumn<quint32>("value");
    QTest::newRow("decimal") << QStringList{"3", "31"} << QByteArray("3f230000001f") << 3 << 31u;
    QTest::newRow("0x in decimal mode")
        << QStringList{"3", "0x1f"} << QByteArray("3f230000001f") << 3 << 31u;
    QTest::newRow("hex mode, port 10")
        << QStringList{"10", "1f", "--hex"} << QByteArray("3f2a0000001f") << 10 << 31u;
    QTest::newRow("minus one, port 11")
        << QStringList{"11", "-1"} << QByteArray("3f2bffffffff") << 11 << 0xFFFFFFFFu;
    QTest::newRow("rest of the text ignored")
        << QStringList{"2", "12abc"} << QByteArray("3f220000000c") << 2 << 12u;
    QTest::newRow("without identification") << QStringList{"1", "0x80000001", "--no-identify"}
                                            << QByteArray("2180000001") << 1 << 0x80000001u;
}

void TestCli::write()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, frames);
    QFETCH(int, port);
    QFETCH(quint32, value);
    const CliResult r = cli(QStringList{"write"} + args + QStringList{"--port", expand("%DEV")});
    QVERIFY(r.finished);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString());
    QCOMPARE(r.code, kExitSuccess);
    QCOMPARE(received(frames), frames);
    QTRY_COMPARE(board_->port_value(unsigned(port)), value);
}

void TestCli::usage_errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err");
    QTest::newRow("no command") << QStringList{"--port", "%DEV"}
                                << "no command given (try atlys-cli --help)";
    QTest::newRow("unknown command") << QStringList{"reed", "3", "--port", "%DEV"}
                                     << "unknown command 'reed' (commands: id, read, write, scan, "
                                        "codec-write, watch, run)";
    QTest::newRow("port 16") << QStringList{"read", "16", "--port", "%DEV"}
                             << "'16' is not a port: ports are 0 to 15";
    QTest::newRow("hex digits without --hex")
        << QStringList{"write", "3", "ff", "--port", "%DEV"}
        << "'ff' is not a decimal number (write 0xff, or give --hex)";
    QTest::newRow("codec index") << QStringList{"codec-write", "40", "1", "--port", "%DEV"}
                                 << "codec register index '40' is out of range: 0 to 31";
    QTest::newRow("dec and json") << QStringList{"read", "1", "--dec", "--json", "--port", "%DEV"}
                                  << "--dec and --json exclude each other";
    QTest::newRow("all on read") << QStringList{"read", "1", "--all", "--port", "%DEV"}
                                 << "--all does not apply to read";
    QTest::newRow("log file cannot be opened")
        << QStringList{"read", "1", "--port", "%DEV", "--log", "%DIR/no/such/folder/t.log"}
        << "can't open the log file '%DIR/no/such/folder/t.log': No such file or directory";
    QTest::newRow("port list cannot be read")
        << QStringList{"read", "1", "--port-list", "%DIR/none.list"}
        << "can't read the port list '%DIR/none.list'";
}

void TestCli::usage_errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    const CliResult r = cli(expand(args));
    QVERIFY(r.finished);
    QCOMPARE(r.err, "atlys-cli: " + expand(err) + "\n");
    QCOMPARE(r.out, QString());
    QCOMPARE(r.code, kExitUsage);
    QVERIFY(!board_->wait_received(1, 50ms)); // the port was never opened
}

void TestCli::cannot_open_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("err");
    QTest::newRow("no such device") << "%DIR/nothing"
                                    << "%DIR/nothing: no such device";
    QTest::newRow("COM name past the list") << "COM3"
                                            << "COM3: no such port, the system lists 1 serial port";
    QTest::newRow("not a serial line") << "%DIR/ports.list"
                                       << "%DIR/ports.list: it is not a serial line, or another "
                                          "program holds it";
    QTest::newRow("bare name lives in /dev")
        << "atlys-no-such-tty"
        << "atlys-no-such-tty (/dev/atlys-no-such-tty): no such device";
}

void TestCli::cannot_open()
{
    QFETCH(QString, port);
    QFETCH(QString, err);
    set_ports({expand("%DEV")});
    const CliResult r = cli({"read", "0", "--port", expand(port)});
    QVERIFY(r.finished);
    QCOMPARE(r.err, "atlys-cli: can't open serial port " + expand(err) + "\n");
    QCOMPARE(r.code, kExitCannotOpen);
    QVERIFY(board_->received().empty());
}

// ---- scan --------------------------------------------------------------------------

void TestCli::scan_reports_every_known_board()
{
    sim::BoardSim stranger(0x12345678);
    sim::BoardSim codec(sim::kAudioCodecId);
    QVERIFY(stranger.start());
    QVERIFY(codec.start());
    const QString s = QString::fromStdString(stranger.device());
    const QString c = QString::fromStdString(codec.device());
    set_ports({expand("%DIR/missing"), s, expand("%DEV"), c});
    const CliResult r = cli({"scan"});
    QVERIFY(r.finished);
    QCOMPARE(r.out, expand("COM3 %DEV Atlys S6 QOR 2016/17 barebone (0x20161700)\n") + "COM4 " + c +
                        " Atlys S6 QOR 2016/17 Audio Codec (0x20161701)\n");
    QCOMPARE(r.err, "atlys-cli: COM2 " + s + ": unknown board, port 15 reads 0x12345678\n");
    QCOMPARE(r.code, kExitSuccess);
    QCOMPARE(received("3f"), QByteArray("3f"));
    QCOMPARE(received("3f", &stranger), QByteArray("3f"));
    // Finding a codec board does not run its codec start-up.
    QCOMPARE(received("3f", &codec), QByteArray("3f"));
}

void TestCli::scan_outcomes_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<quint32>("config");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    QTest::newRow("nothing listed")
        << QStringList{} << quint32(sim::kBareboneId) << int(sim::Fault::none) << kExitCannotOpen
        << "atlys-cli: no serial port could be opened\n";
    QTest::newRow("nothing opens")
        << QStringList{"%DIR/a", "%DIR/b"} << quint32(sim::kBareboneId) << int(sim::Fault::none)
        << kExitCannotOpen << "atlys-cli: no serial port could be opened\n";
    QTest::newRow("silent board") << QStringList{"%DEV"} << quint32(sim::kBareboneId)
                                  << int(sim::Fault::silent) << kExitNoAnswer
                                  << "atlys-cli: no board answered on any port\n";
    QTest::newRow("unknown board only")
        << QStringList{"%DIR/a", "%DEV"} << 0x0u << int(sim::Fault::none) << kExitUnknownBoard
        << "atlys-cli: COM2 %DEV: unknown board, port 15 reads 0x00000000\n";
}

void TestCli::scan_outcomes()
{
    QFETCH(QStringList, ports);
    QFETCH(quint32, config);
    QFETCH(int, fault);
    QFETCH(int, code);
    QFETCH(QString, err);
    board_->set_config_id(config);
    board_->set_behaviour(15, {sim::Fault(fault), 0ms});
    set_ports(expand(ports));
    const CliResult r = cli({"scan"});
    QVERIFY(r.finished);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, expand(err));
    QCOMPARE(r.code, code);
}

void TestCli::scan_all_goes_past_com29()
{
    QStringList ports;
    for (int k = 1; k <= 29; ++k)
        ports << dir_->filePath(QString("absent%1").arg(k));
    ports << expand("%DEV");
    set_ports(ports);

    const CliResult com_only = cli({"scan"});
    QVERIFY(com_only.finished);
    QCOMPARE(com_only.code, kExitCannotOpen);
    QVERIFY(board_->received().empty());

    const CliResult all = cli({"scan", "--all", "--json"});
    QVERIFY(all.finished);
    QCOMPARE(all.err, QString());
    QCOMPARE(all.out,
             expand("{\"port\":\"%DEV\",\"device\":\"%DEV\",\"name\":\"Atlys S6 QOR 2016/17 "
                    "barebone\",\"id\":\"0x20161700\",\"codec\":false}\n"));
    QCOMPARE(all.code, kExitSuccess);
    QCOMPARE(received("3f"), QByteArray("3f"));
}

// ---- codec-write -------------------------------------------------------------------

void TestCli::codec_write_data()
{
    QTest::addColumn<quint32>("config");
    QTest::addColumn<int>("readiness"); // how the codec's RDY flag answers the port-2 reads
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    const int now = int(sim::CodecReadiness::now);
    QTest::newRow("ready at once")
        << quint32(sim::kAudioCodecId) << now << QStringList{"5", "0xbeef"}
        << QByteArray("3f"
                      "32"
                      "220000beef"
                      "2300000005"
                      "2f00000001")
        << kExitSuccess << "";
    QTest::newRow("hex mode") << quint32(sim::kAudioCodecId) << now
                              << QStringList{"1f", "ffff", "--hex"}
                              << QByteArray("3f"
                                            "32"
                                            "220000ffff"
                                            "230000001f"
                                            "2f00000001")
                              << kExitSuccess << "";
    QTest::newRow("ready at the second read")
        << quint32(sim::kAudioCodecId) << int(sim::CodecReadiness::second) << QStringList{"0", "0"}
        << QByteArray("3f"
                      "32"
                      "32"
                      "2200000000"
                      "2300000000"
                      "2f00000001")
        << kExitSuccess << "";
    QTest::newRow("never ready")
        << quint32(sim::kAudioCodecId) << int(sim::CodecReadiness::never) << QStringList{"0", "0"}
        << QByteArray("3f"
                      "32"
                      "32")
        << kExitNoAnswer
        << "atlys-cli: the codec did not become ready (RDY, bit 0 of port 2, "
           "stayed 0): nothing was written\n";
    QTest::newRow("barebone board") << quint32(sim::kBareboneId) << now << QStringList{"0", "0"}
                                    << QByteArray("3f") << kExitUnknownBoard
                                    << "atlys-cli: the board on %DEV is 'Atlys S6 QOR 2016/17 "
                                       "barebone', which has no audio codec\n";
}

void TestCli::codec_write()
{
    QFETCH(quint32, config);
    QFETCH(int, readiness);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, frames);
    QFETCH(int, code);
    QFETCH(QString, err);
    board_->set_config_id(config);
    board_->set_codec_ready_script(sim::codec_script(sim::CodecReadiness(readiness)));
    const CliResult r =
        cli(QStringList{"codec-write"} + args + QStringList{"--port", expand("%DEV")});
    QVERIFY(r.finished);
    QCOMPARE(r.err, expand(err));
    QCOMPARE(r.out, QString());
    QCOMPARE(r.code, code);
    QCOMPARE(received(frames), frames);
}

// ---- run ---------------------------------------------------------------------------

void TestCli::run_file_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("silent"); // a port that does not answer, -1 none
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QByteArray>("frames");

    QTest::newRow("register test passes")
        << QByteArray("# register test\nwrite 3 0x1f\nexpect 3 == 0x1f\n\nwrite 4 3   # two bits\n"
                      "expect 4 & 0x1 == 1\nread 3 4\nsleep 1\n")
        << QStringList{} << -1 << kExitSuccess << "0000001F\n00000003\n"
        << ""
        << QByteArray("3f"
                      "230000001f"
                      "33"
                      "2400000003"
                      "34"
                      "33"
                      "34");
    QTest::newRow("decimal output")
        << QByteArray("write 2 -2\r\nread 2\r\n") << QStringList{"--dec"} << -1 << kExitSuccess
        << "-2 4294967294\n"
        << ""
        << QByteArray("3f"
                      "22fffffffe"
                      "32");
    QTest::newRow("hex mode") << QByteArray("write 2 ff\nexpect 2 == 0xff\nread 2\n")
                              << QStringList{"--hex", "--json"} << -1 << kExitSuccess
                              << "{\"port\":2,\"value\":255,\"hex\":\"000000FF\",\"signed\":255}\n"
                              << ""
                              << QByteArray("3f"
                                            "22000000ff"
                                            "32"
                                            "32");
    QTest::newRow("stops at the failed expect")
        << QByteArray("write 3 5\nread 3\nexpect 3 == 6\nwrite 3 7\n") << QStringList{} << -1
        << kExitExpectationFailed << "00000005\n"
        << "atlys-cli: test.run:3: expect failed: port 3 reads 00000005, expected 00000006\n"
        << QByteArray("3f"
                      "2300000005"
                      "33"
                      "33");
    QTest::newRow("silent port") << QByteArray("# first\nread 6\nwrite 1 1\n") << QStringList{} << 6
                                 << kExitNoAnswer << ""
                                 << "atlys-cli: test.run:2: port 6 did not answer\n"
                                 << QByteArray("3f"
                                               "36");
    QTest::newRow("bad line sends nothing")
        << QByteArray("write 3 1\nread 3\n\nexpect 3 => 1\n") << QStringList{} << -1 << kExitUsage
        << ""
        << "atlys-cli: test.run:4: expect compares with == or !=, not '=>'\n"
        << QByteArray();
}

void TestCli::run_file()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, args);
    QFETCH(int, silent);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QByteArray, frames);
    if (silent >= 0)
        board_->set_behaviour(unsigned(silent), {sim::Fault::silent, 0ms});
    put("test.run", script);
    const CliResult r = cli(QStringList{"run", "test.run", "--port", expand("%DEV")} + args);
    QVERIFY(r.finished);
    QCOMPARE(r.err, err);
    QCOMPARE(r.out, out);
    QCOMPARE(r.code, code);
    if (frames.isEmpty())
        QVERIFY(!board_->wait_received(1, 50ms));
    QCOMPARE(received(frames), frames);
}

void TestCli::run_from_stdin()
{
    const CliResult r = cli({"run", "-", "--port", expand("%DEV")},
                            "write 5 9\nexpect 5 == 9\nread 5\nexpect 5 != 9\nread 5\n");
    QVERIFY(r.finished);
    QCOMPARE(r.out, QString("00000009\n"));
    QCOMPARE(r.err,
             QString("atlys-cli: <stdin>:4: expect failed: port 5 reads 00000009, expected not "
                     "00000009\n"));
    QCOMPARE(r.code, kExitExpectationFailed);
    QCOMPARE(received("3f2500000009353535"), QByteArray("3f2500000009353535"));
}

void TestCli::run_file_missing()
{
    const CliResult r = cli({"run", "nope.run", "--port", expand("%DEV")});
    QVERIFY(r.finished);
    QCOMPARE(r.err,
             QString("atlys-cli: can't read the run file 'nope.run': No such file or directory\n"));
    QCOMPARE(r.code, kExitUsage);
    QVERIFY(board_->received().empty());
}

// ---- watch -------------------------------------------------------------------------

void TestCli::watch_survives_board_going_away()
{
    // The times of the reads of port 15, to see the reopening rhythm.
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> id_reads;
    board_->set_event_callback([&](const sim::Event &e) {
        if (e.kind == sim::Event::Kind::read && e.port == 15) {
            std::lock_guard<std::mutex> lock(mutex);
            id_reads.push_back(std::chrono::steady_clock::now());
        }
    });
    board_->set_port_value(3, 0x2A);

    QProcess process;
    process.setWorkingDirectory(dir_->path());
    process.start(ATLYS_CLI_PATH, {"--port-list", list_path_, "watch", "3", "7", "--interval", "20",
                                   "--port", expand("%DEV")});
    QVERIFY(process.waitForStarted(5000));
    QString out;
    QString err;
    const auto out_lines = [&] {
        out += QString::fromUtf8(process.readAllStandardOutput());
        return without_times(out);
    };
    const auto err_lines = [&] {
        err += QString::fromUtf8(process.readAllStandardError());
        return err.split('\n', Qt::SkipEmptyParts);
    };

    // The first values, then a change.
    QTRY_COMPARE_WITH_TIMEOUT(out_lines(), (QStringList{"3 0000002A", "7 00000000"}), 5000);
    board_->set_port_value(7, 5);
    QTRY_COMPARE_WITH_TIMEOUT(out_lines(), (QStringList{"3 0000002A", "7 00000000", "7 00000005"}),
                              5000);

    // Unplugged: reported once.
    board_->go_away();
    QTRY_COMPARE_WITH_TIMEOUT(err_lines().size(), 1, 5000);
    QVERIFY2(
        QRegularExpression(expand("^atlys-cli: lost the board on %DEV: port [37] did not answer; "
                                  "trying to open it again every 500 ms$"))
            .match(err_lines()[0])
            .hasMatch(),
        qPrintable(err));

    // Back, but answering an unknown id at first: it keeps trying, every 500 ms, silently.
    board_->set_config_id(0x12345678);
    std::size_t reads_before = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        reads_before = id_reads.size();
    }
    const auto retries = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return std::vector<std::chrono::steady_clock::time_point>(
            id_reads.begin() + long(reads_before), id_reads.end());
    };
    QVERIFY(board_->come_back());
    // The simulator records a read in its event callback, after the bytes arrived.
    QTRY_VERIFY_WITH_TIMEOUT(retries().size() >= 2, 5000);
    const auto first_two = retries();
    const auto gap =
        std::chrono::duration_cast<std::chrono::milliseconds>(first_two[1] - first_two[0]);
    QVERIFY2(gap >= 450ms && gap < 1500ms, qPrintable(QString::number(gap.count())));
    QCOMPARE(err_lines().size(), 1);

    // The right board again: it says so and goes on reporting changes.
    board_->set_port_value(3, 0x2B);
    board_->set_config_id(sim::kBareboneId);
    QTRY_COMPARE_WITH_TIMEOUT(err_lines().size(), 2, 5000);
    QCOMPARE(err_lines()[1], expand("atlys-cli: the board is back on %DEV"));
    QTRY_COMPARE_WITH_TIMEOUT(
        out_lines(), (QStringList{"3 0000002A", "7 00000000", "7 00000005", "3 0000002B"}), 5000);

    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), kExitSuccess);
    QCOMPARE(out_lines().size(), 4);
    QCOMPARE(err_lines().size(), 2);
}

// ---- connection settings ------------------------------------------------------------

void TestCli::config_defaulting_data()
{
    QTest::addColumn<bool>("has_config");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("err");
    QTest::newRow("no config.dat: COM1 at 115200") << false << QByteArray() << QStringList{"%DEV"}
                                                   << QStringList{} << kExitSuccess << 115200 << "";
    QTest::newRow("device and speed") << true << QByteArray("%DEV  57600\r\n") << QStringList{}
                                      << QStringList{} << kExitSuccess << 57600 << "";
    QTest::newRow("COM2 from the list")
        << true << QByteArray("COM2  9600\r\n") << QStringList{"%DIR/absent", "%DEV"}
        << QStringList{} << kExitSuccess << 9600 << "";
    QTest::newRow("name only keeps 115200") << true << QByteArray("  %DEV") << QStringList{}
                                            << QStringList{} << kExitSuccess << 115200 << "";
    QTest::newRow("--port and --baud win")
        << true << QByteArray("COM2  9600\n") << QStringList{}
        << QStringList{"--port", "%DEV", "--baud", "230400"} << kExitSuccess << 230400 << "";
    QTest::newRow("--baud alone keeps the file's name")
        << true << QByteArray("%DEV  9600\n") << QStringList{} << QStringList{"--baud", "19200"}
        << kExitSuccess << 19200 << "";
    QTest::newRow("empty config.dat: empty name")
        << true << QByteArray() << QStringList{"%DEV"} << QStringList{} << kExitCannotOpen << 0
        << "atlys-cli: can't open serial port '': the port name is empty\n";
    QTest::newRow("overlong name, --port given")
        << true << QByteArray(300, 'a') + "  4800" << QStringList{} << QStringList{"--port", "%DEV"}
        << kExitSuccess << 4800 << "";
    QTest::newRow("overlong name used")
        << true << QByteArray(300, 'a') + "  4800" << QStringList{"%DEV"} << QStringList{}
        << kExitCannotOpen << 0
        << "atlys-cli: warning: the port name in 'config.dat' is too long (300 characters, at most "
           "255)\n"
           "atlys-cli: can't open serial port '': the port name is empty\n";
}

void TestCli::config_defaulting()
{
    QFETCH(bool, has_config);
    QFETCH(QByteArray, config);
    QFETCH(QStringList, ports);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(int, speed);
    QFETCH(QString, err);
    if (has_config)
        put("config.dat", expand(QString::fromLatin1(config)).toLatin1());
    set_ports(expand(ports));
    const int before = slave_speed(board_->slave_path());
    QVERIFY(before > 0);
    const CliResult r = cli(QStringList{"read", "1"} + expand(args));
    QVERIFY(r.finished);
    QCOMPARE(r.err, err);
    QCOMPARE(r.code, code);
    if (code == kExitSuccess) {
        QCOMPARE(r.out, QString("00000000\n"));
        QVERIFY(speed != before); // the check below would be void otherwise
        QCOMPARE(slave_speed(board_->slave_path()), speed);
        QCOMPARE(received("3f31"), QByteArray("3f31"));
    } else {
        QVERIFY(board_->received().empty());
    }
}

void TestCli::log_appends_every_transfer()
{
    put("t.log", "earlier line\n");
    board_->set_behaviour(5, {sim::Fault::short_reply, 0ms});
    const QStringList common{"--port", expand("%DEV"), "--log", "t.log"};
    QCOMPARE(cli(QStringList{"write", "3", "0x1f"} + common).code, kExitSuccess);
    QCOMPARE(cli(QStringList{"read", "3"} + common).code, kExitSuccess);
    QCOMPARE(cli(QStringList{"read", "5"} + common).code, kExitNoAnswer);

    QFile file(dir_->filePath("t.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.takeFirst(), QString("earlier line"));
    QCOMPARE(without_times(lines.join('\n')),
             (QStringList{"read 15 20161700", "write 3 0000001F", "read 15 20161700",
                          "read 3 0000001F", "read 15 20161700", "read 5 timeout (3 of 4 bytes)"}));
}

void TestCli::help_for_every_command()
{
    const struct {
        QStringList args;
        Command command;
    } asks[] = {
        {{"--help"}, Command::none},
        {{"-h"}, Command::none},
        {{"help"}, Command::none},
        {{"help", "read"}, Command::read},
        {{"read", "--help"}, Command::read},
        {{"id", "-h"}, Command::id},
        {{"write", "--help"}, Command::write},
        {{"scan", "--help"}, Command::scan},
        {{"codec-write", "--help"}, Command::codec_write},
        {{"watch", "--help"}, Command::watch},
        {{"run", "--help"}, Command::run},
    };
    for (const auto &ask : asks) {
        const CliResult r = cli(ask.args + QStringList{"--port", expand("%DEV")});
        QVERIFY(r.finished);
        QCOMPARE(r.out, QString::fromStdString(help_text(ask.command)));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, kExitSuccess);
    }
    QVERIFY(board_->received().empty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
