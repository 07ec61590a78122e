// atlys-cli's pure parts: the command line, the run-file language and its
// execution, the output formats, the transfer log and the port lists.

#include "arguments.h"
#include "board_link.h"
#include "exit_codes.h"
#include "help_text.h"
#include "output_format.h"
#include "port_values.h"
#include "run_file.h"
#include "system_ports.h"
#include "transfer_log.h"

#include <QtTest>

#include <ctime>
#include <deque>
#include <map>
#include <set>
#include <sstream>

using namespace atlys;
using namespace atlys::cli;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<std::uint32_t>)

namespace {

std::vector<std::string> words(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

QString join_ports(const std::vector<unsigned> &ports)
{
    QStringList parts;
    for (unsigned p : ports)
        parts << QString::number(p);
    return parts.join(',');
}

// The parsed options in one line, for comparing a whole parse at once.
QString describe(const Options &o)
{
    const char *styles[] = {"hex", "dec", "json"};
    QString text = QString("%1 ports=%2 value=%3 index=%4 style=%5")
                       .arg(command_name(o.command))
                       .arg(join_ports(o.ports))
                       .arg(o.value, 8, 16, QChar('0'))
                       .arg(o.codec_index)
                       .arg(styles[int(o.style)]);
    if (o.hex_input)
        text += " hex";
    if (!o.identify)
        text += " no-identify";
    if (o.all)
        text += " all";
    if (o.port)
        text += " port=" + QString::fromStdString(*o.port);
    if (o.baud)
        text += " baud=" + QString::number(*o.baud);
    if (o.log_file)
        text += " log=" + QString::fromStdString(*o.log_file);
    if (o.port_list)
        text += " list=" + QString::fromStdString(*o.port_list);
    if (o.interval != kDefaultWatchInterval)
        text += " interval=" + QString::number(o.interval.count());
    if (!o.file.empty())
        text += " file=" + QString::fromStdString(o.file);
    return text;
}

QString describe(const Statement &s)
{
    switch (s.kind) {
    case Statement::Kind::write:
        return QString("write %1 %2").arg(s.ports[0]).arg(s.value, 8, 16, QChar('0'));
    case Statement::Kind::read:
        return "read " + join_ports(s.ports);
    case Statement::Kind::expect: {
        QString text = QString("expect %1").arg(s.ports[0]);
        if (s.mask)
            text += QString(" & %1").arg(*s.mask, 8, 16, QChar('0'));
        return text + QString(" %1 %2").arg(s.equal ? "==" : "!=").arg(s.value, 8, 16, QChar('0'));
    }
    case Statement::Kind::sleep:
        return QString("sleep %1").arg(s.pause.count());
    }
    return {};
}

// A board for the run-file executor: registers, a set of silent ports and
// a record of every operation in order.
class FakeBoard : public PortAccess {
public:
    bool write(unsigned port, std::uint32_t value) override
    {
        ops << QString("w%1=%2").arg(port).arg(value, 0, 16);
        if (refuse_writes)
            return false;
        values[port] = value;
        return true;
    }
    std::optional<std::uint32_t> read(unsigned port) override
    {
        ops << QString("r%1").arg(port);
        if (silent.count(port))
            return std::nullopt;
        return values[port];
    }
    void pause(std::chrono::milliseconds duration) override
    {
        ops << QString("p%1").arg(duration.count());
    }

    std::map<unsigned, std::uint32_t> values;
    std::set<unsigned> silent;
    bool refuse_writes = false;
    QStringList ops;
};

// A serial line that answers from a queue, for the transfer log.
class ScriptedLine : public SerialLine {
public:
    bool open(const std::string &, std::int32_t) override { return open_ = true; }
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    bool write(const std::uint8_t *, std::size_t) override { return open_ && !fail_writes; }
    std::size_t read(std::uint8_t *buffer, std::size_t count, std::chrono::milliseconds) override
    {
        std::size_t got = 0;
        while (got < count && !replies.empty()) {
            buffer[got++] = replies.front();
            replies.pop_front();
        }
        return got;
    }

    std::deque<std::uint8_t> replies;
    bool fail_writes = false;

private:
    bool open_ = false;
};

class FieldView : public LinkView {
public:
    void log_line(const std::string &text) override { lines << QString::fromStdString(text); }
    void set_read_status(bool) override {}
    std::string port_text() const override { return "/dev/fake"; }
    void set_port_text(const std::string &) override {}
    QStringList lines;
};

void make_file(const QString &path, const QByteArray &contents = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

class TestCliCore : public QObject {
    Q_OBJECT

private slots:
    void arguments_good_data();
    void arguments_good();
    void arguments_bad_data();
    void arguments_bad();
    void read_value_data();
    void read_value();
    void read_value_is_the_panels_entry_in_hex_mode();
    void port_numbers_data();
    void port_numbers();

    void run_lines_data();
    void run_lines();
    void run_file_reports_first_bad_line();
    void run_execution_data();
    void run_execution();

    void formats_data();
    void formats();
    void timestamp_is_local_iso_with_milliseconds();
    void json_strings_escape();

    void transfer_log_of_link_operations();
    void sysfs_ports_from_a_tree();
    void port_list_file_gives_com_names();

    void help_lists_every_exit_code();
    void every_command_has_help();
};

void TestCliCore::arguments_good_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("parsed");
    QTest::newRow("id") << QStringList{"id"} << "id ports= value=00000000 index=0 style=hex";
    QTest::newRow("read several, options after")
        << QStringList{"read", "3", "15", "0", "--dec", "--port", "COM2"}
        << "read ports=3,15,0 value=00000000 index=0 style=dec port=COM2";
    QTest::newRow("options before the command")
        << QStringList{"--json", "--port=/dev/ttyUSB0", "--baud", "9600", "read", "07"}
        << "read ports=7 value=00000000 index=0 style=json port=/dev/ttyUSB0 baud=9600";
    QTest::newRow("write decimal")
        << QStringList{"write", "3", "31"} << "write ports=3 value=0000001f index=0 style=hex";
    QTest::newRow("write 0x without --hex")
        << QStringList{"write", "3", "0x1f"} << "write ports=3 value=0000001f index=0 style=hex";
    QTest::newRow("write --hex after the value")
        << QStringList{"write", "10", "1f", "--hex"}
        << "write ports=10 value=0000001f index=0 style=hex hex";
    QTest::newRow("write a negative value")
        << QStringList{"write", "11", "-1"} << "write ports=11 value=ffffffff index=0 style=hex";
    QTest::newRow("after --, a dash word is a value")
        << QStringList{"write", "--hex", "4", "--", "-a"}
        << "write ports=4 value=fffffff6 index=0 style=hex hex";
    QTest::newRow("codec-write") << QStringList{"codec-write", "31", "0xffff"}
                                 << "codec-write ports= value=0000ffff index=31 style=hex";
    QTest::newRow("scan --all") << QStringList{"scan", "--all", "--json"}
                                << "scan ports= value=00000000 index=0 style=json all";
    QTest::newRow("watch with interval")
        << QStringList{"watch", "1", "2", "--interval", "25", "--no-identify"}
        << "watch ports=1,2 value=00000000 index=0 style=hex no-identify interval=25";
    QTest::newRow("run stdin with log and list")
        << QStringList{"run", "-", "--log", "t.log", "--port-list", "p.list"}
        << "run ports= value=00000000 index=0 style=hex log=t.log list=p.list file=-";
}

void TestCliCore::arguments_good()
{
    QFETCH(QStringList, args);
    QFETCH(QString, parsed);
    const ParsedArguments result = parse_arguments(words(args));
    QVERIFY2(result.ok(), result.error.c_str());
    QVERIFY(!result.options.help);
    QCOMPARE(describe(result.options), parsed);
}

void TestCliCore::arguments_bad_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing") << QStringList{} << "no command given (try atlys-cli --help)";
    QTest::newRow("unknown command")
        << QStringList{"raed", "3"}
        << "unknown command 'raed' (commands: id, read, write, scan, codec-write, watch, run)";
    QTest::newRow("port 16") << QStringList{"read", "16"}
                             << "'16' is not a port: ports are 0 to 15";
    QTest::newRow("port in hex") << QStringList{"read", "0xf"}
                                 << "'0xf' is not a port: ports are 0 to 15";
    QTest::newRow("read without port") << QStringList{"read"} << "usage: atlys-cli read PORT...";
    QTest::newRow("write without value")
        << QStringList{"write", "3"} << "usage: atlys-cli write PORT VALUE";
    QTest::newRow("hex digits in decimal mode")
        << QStringList{"write", "3", "ff"}
        << "'ff' is not a decimal number (write 0xff, or give --hex)";
    QTest::newRow("no digit in hex mode")
        << QStringList{"write", "3", "g1", "--hex"} << "'g1' is not a hexadecimal number";
    QTest::newRow("codec index 32") << QStringList{"codec-write", "32", "0"}
                                    << "codec register index '32' is out of range: 0 to 31";
    QTest::newRow("codec value 17 bits")
        << QStringList{"codec-write", "0", "0x10000"}
        << "codec register value '0x10000' is out of range: 16 bits (0 to 0xFFFF)";
    QTest::newRow("dec and json") << QStringList{"read", "1", "--dec", "--json"}
                                  << "--dec and --json exclude each other";
    QTest::newRow("interval on read")
        << QStringList{"read", "1", "--interval", "5"} << "--interval does not apply to read";
    QTest::newRow("interval zero") << QStringList{"watch", "1", "--interval", "0"}
                                   << "--interval '0' is not a time in milliseconds (1 to 3600000)";
    QTest::newRow("all on read") << QStringList{"read", "1", "--all"}
                                 << "--all does not apply to read";
    QTest::newRow("port on scan") << QStringList{"scan", "--port", "COM1"}
                                  << "--port does not apply to scan: it tries every port";
    QTest::newRow("dec on write") << QStringList{"write", "1", "2", "--dec"}
                                  << "--dec does not apply to write";
    QTest::newRow("hex on id") << QStringList{"id", "--hex"} << "--hex does not apply to id";
    QTest::newRow("baud zero") << QStringList{"id", "--baud", "0"}
                               << "--baud '0' is not a line speed (a positive number)";
    QTest::newRow("baud past 32 bits")
        << QStringList{"id", "--baud", "2147483648"}
        << "--baud '2147483648' is not a line speed (a positive number)";
    QTest::newRow("option without value") << QStringList{"id", "--port"} << "--port needs a value";
    QTest::newRow("flag with value") << QStringList{"id", "--json=1"} << "--json takes no value";
    QTest::newRow("unknown option")
        << QStringList{"id", "--verbose"} << "unknown option '--verbose'";
    QTest::newRow("id with argument") << QStringList{"id", "15"} << "id takes no arguments ('15')";
    QTest::newRow("run two files")
        << QStringList{"run", "a", "b"} << "usage: atlys-cli run FILE   (or - for standard input)";
    QTest::newRow("help for no command") << QStringList{"help", "frob"}
                                         << "unknown command 'frob' (commands: id, read, write, "
                                            "scan, codec-write, watch, run)";
}

void TestCliCore::arguments_bad()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const ParsedArguments result = parse_arguments(words(args));
    QCOMPARE(QString::fromStdString(result.error), error);
}

void TestCliCore::read_value_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<std::optional<std::uint32_t>>("value");
    const std::optional<std::uint32_t> none;
    QTest::newRow("decimal") << "31" << false << std::optional<std::uint32_t>(31);
    QTest::newRow("0x in decimal mode") << "0x1f" << false << std::optional<std::uint32_t>(31);
    QTest::newRow("0X upper in decimal mode")
        << "0X1F" << false << std::optional<std::uint32_t>(31);
    QTest::newRow("minus 0x in decimal mode")
        << "-0x10" << false << std::optional<std::uint32_t>(0xFFFFFFF0);
    QTest::newRow("hex mode bare") << "1f" << true << std::optional<std::uint32_t>(31);
    QTest::newRow("hex mode letters alone") << "abc" << true << std::optional<std::uint32_t>(0xABC);
    QTest::newRow("0x alone") << "0x" << false << std::optional<std::uint32_t>(0);
    QTest::newRow("minus one") << "-1" << false << std::optional<std::uint32_t>(0xFFFFFFFF);
    QTest::newRow("minus zero") << "-0" << false << std::optional<std::uint32_t>(0);
    QTest::newRow("rest ignored") << "12abc" << false << std::optional<std::uint32_t>(12);
    QTest::newRow("low 32 bits") << "4294967297" << false << std::optional<std::uint32_t>(1);
    QTest::newRow("leading space") << " \t7" << false << std::optional<std::uint32_t>(7);
    QTest::newRow("0x8 then decimal 9") << "0x89" << false << std::optional<std::uint32_t>(0x89);
    QTest::newRow("empty") << "" << false << none;
    QTest::newRow("sign alone") << "-" << true << none;
    QTest::newRow("hex digits in decimal") << "ff" << false << none;
    QTest::newRow("g in hex") << "g1" << true << none;
}

void TestCliCore::read_value()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(std::optional<std::uint32_t>, value);
    QCOMPARE(cli::read_value(text.toStdString(), hex), value);
}

void TestCliCore::read_value_is_the_panels_entry_in_hex_mode()
{
    // In hexadecimal mode the command line reads exactly what the panel's field would.
    const char *texts[] = {"0",         "1f", "0x1F", "-0x1", "  +ab", "0x",   "x1",
                           "fffffffff", "1g", "",     "-",    "0xx1",  "\n0X7"};
    for (const char *text : texts)
        QCOMPARE(cli::read_value(text, true), parse_port_value(text, true));
    // In decimal mode it does too, unless the text starts with 0x.
    const char *decimals[] = {"0", "-12", "12abc", " 99", "+", "1e3", "0", "00x5"};
    for (const char *text : decimals)
        QCOMPARE(cli::read_value(text, false), parse_port_value(text, false));
}

void TestCliCore::port_numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // -1: not a port
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("15") << "15" << 15;
    QTest::newRow("leading zero") << "07" << 7;
    QTest::newRow("16") << "16" << -1;
    QTest::newRow("three digits") << "015" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("hex") << "f" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("trailing text") << "3x" << -1;
}

void TestCliCore::port_numbers()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    const auto parsed = read_port_number(text.toStdString());
    QCOMPARE(parsed ? int(*parsed) : -1, port);
}

void TestCliCore::run_lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("parsed"); // the statement, "" for none
    QTest::addColumn<QString>("error");
    QTest::newRow("write") << "write 3 0x1f" << false << "write 3 0000001f"
                           << "";
    QTest::newRow("write decimal") << "write 3 31" << false << "write 3 0000001f"
                                   << "";
    QTest::newRow("write hex mode") << "write 3 1f" << true << "write 3 0000001f"
                                    << "";
    QTest::newRow("read several") << "  read 1 2\t15" << false << "read 1,2,15"
                                  << "";
    QTest::newRow("expect ==") << "expect 3 == 0x1f" << false << "expect 3 == 0000001f"
                               << "";
    QTest::newRow("expect masked")
        << "expect 4 & 0x1 == 1" << false << "expect 4 & 00000001 == 00000001"
        << "";
    QTest::newRow("expect without spaces")
        << "expect 4&0x1!=1" << false << "expect 4 & 00000001 != 00000001"
        << "";
    QTest::newRow("sleep") << "sleep 10" << false << "sleep 10"
                           << "";
    QTest::newRow("comment after command") << "read 2 # the status" << false << "read 2"
                                           << "";
    QTest::newRow("CR LF line end") << "write 1 2\r" << false << "write 1 00000002"
                                    << "";
    QTest::newRow("blank") << "   \t" << false << ""
                           << "";
    QTest::newRow("comment") << "# write 3 1" << false << ""
                             << "";

    QTest::newRow("unknown command") << "wirte 3 1" << false << ""
                                     << "unknown command 'wirte' (write, read, expect, sleep)";
    QTest::newRow("upper case") << "READ 3" << false << ""
                                << "unknown command 'READ' (write, read, expect, sleep)";
    QTest::newRow("write missing value") << "write 3" << false << ""
                                         << "write needs a port and a value: write PORT VALUE";
    QTest::newRow("write extra word") << "write 3 1 2" << false << ""
                                      << "write needs a port and a value: write PORT VALUE";
    QTest::newRow("port 16") << "read 3 16" << false << ""
                             << "'16' is not a port: ports are 0 to 15";
    QTest::newRow("decimal stops at a hex digit, as the panel")
        << "write 3 1f" << false << "write 3 00000001"
        << "";
    QTest::newRow("value not decimal")
        << "write 3 f1" << false << ""
        << "'f1' is not a decimal number (write 0xf1, or give --hex)";
    QTest::newRow("expect single =") << "expect 3 = 1" << false << ""
                                     << "expect compares with == or !=, not '='";
    QTest::newRow("expect missing value") << "expect 3 ==" << false << ""
                                          << "expect needs: expect PORT [& MASK] == VALUE (or !=)";
    QTest::newRow("expect bad mask") << "expect 3 & zz == 1" << false << ""
                                     << "'zz' is not a decimal number (write 0xzz, or give --hex)";
    QTest::newRow("expect mask without &") << "expect 3 | 1 == 1" << false << ""
                                           << "expect needs: expect PORT [& MASK] == VALUE (or !=)";
    QTest::newRow("sleep negative") << "sleep -5" << false << ""
                                    << "'-5' is not a duration: milliseconds, 0 to 3600000";
    QTest::newRow("sleep too long") << "sleep 3600001" << false << ""
                                    << "'3600001' is not a duration: milliseconds, 0 to 3600000";
    QTest::newRow("read without port") << "read" << false << ""
                                       << "read needs at least one port: read PORT...";
}

void TestCliCore::run_lines()
{
    QFETCH(QString, line);
    QFETCH(bool, hex);
    QFETCH(QString, parsed);
    QFETCH(QString, error);
    const LineParse result = parse_line(line.toStdString(), hex);
    QCOMPARE(QString::fromStdString(result.error), error);
    QCOMPARE(result.statement ? describe(*result.statement) : QString(), parsed);
}

void TestCliCore::run_file_reports_first_bad_line()
{
    std::istringstream good("# register test\n\nwrite 3 0x1f\r\n  \nexpect 3 == 31\nsleep 0\n");
    const ScriptParse ok = parse_script(good, false);
    QVERIFY(ok.ok());
    QCOMPARE(int(ok.statements.size()), 3);
    QCOMPARE(ok.statements[0].line, 3);
    QCOMPARE(ok.statements[1].line, 5);
    QCOMPARE(ok.statements[2].line, 6);

    // The first bad line is reported, and nothing of the file is kept to run.
    std::istringstream bad("write 3 1\n# ok\n\nread 3\nexpect 3 = 1\nfrob\n");
    const ScriptParse failed = parse_script(bad, false);
    QCOMPARE(failed.error_line, 5);
    QCOMPARE(QString::fromStdString(failed.error),
             QString("expect compares with == or !=, not '='"));
    QVERIFY(failed.statements.empty());

    // The last line without a line end counts too.
    std::istringstream unterminated("read 1\nread 99");
    QCOMPARE(parse_script(unterminated, false).error_line, 2);
}

void TestCliCore::run_execution_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("silent");
    QTest::addColumn<bool>("refuse_writes");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<QStringList>("reads");

    QTest::newRow("all hold")
        << "write 3 0x1f\nread 3\nexpect 3 == 31\nexpect 3 & 0x10 != 0\nsleep 5\n"
        << QList<int>{} << false << kExitSuccess << 0 << ""
        << QStringList{"w3=1f", "r3", "r3", "r3", "p5"} << QStringList{"3=1f"};
    QTest::newRow("stops at failed expect")
        << "write 3 5\nexpect 3 == 6\nwrite 4 1\nread 4\n"
        << QList<int>{} << false << kExitExpectationFailed << 2
        << "expect failed: port 3 reads 00000005, expected 00000006" << QStringList{"w3=5", "r3"}
        << QStringList{};
    QTest::newRow("masked expect fails")
        << "write 4 2\n\n# ready bit\nexpect 4 & 0x1 == 1\n"
        << QList<int>{} << false << kExitExpectationFailed << 4
        << "expect failed: port 4 reads 00000002, & 00000001 gives 00000000, expected 00000001"
        << QStringList{"w4=2", "r4"} << QStringList{};
    QTest::newRow("!= fails on equal")
        << "write 1 -1\nexpect 1 != 0xffffffff\n"
        << QList<int>{} << false << kExitExpectationFailed << 2
        << "expect failed: port 1 reads FFFFFFFF, expected not FFFFFFFF"
        << QStringList{"w1=ffffffff", "r1"} << QStringList{};
    QTest::newRow("silent read") << "read 1 2 3\n"
                                 << QList<int>{2} << false << kExitNoAnswer << 1
                                 << "port 2 did not answer" << QStringList{"r1", "r2"}
                                 << QStringList{"1=0"};
    QTest::newRow("silent expect")
        << "sleep 1\nexpect 7 == 0\n"
        << QList<int>{7} << false << kExitNoAnswer << 2 << "port 7 did not answer"
        << QStringList{"p1", "r7"} << QStringList{};
    QTest::newRow("write fails") << "write 9 1\nread 9\n"
                                 << QList<int>{} << true << kExitNoAnswer << 1
                                 << "nothing was sent to port 9: the serial line failed"
                                 << QStringList{"w9=1"} << QStringList{};
}

void TestCliCore::run_execution()
{
    QFETCH(QString, script);
    QFETCH(QList<int>, silent);
    QFETCH(bool, refuse_writes);
    QFETCH(int, exit_code);
    QFETCH(int, line);
    QFETCH(QString, message);
    QFETCH(QStringList, ops);
    QFETCH(QStringList, reads);

    std::istringstream in(script.toStdString());
    const ScriptParse parsed = parse_script(in, false);
    QVERIFY(parsed.ok());
    FakeBoard board;
    for (int port : silent)
        board.silent.insert(unsigned(port));
    board.refuse_writes = refuse_writes;
    QStringList seen;
    const RunOutcome outcome =
        run_script(parsed.statements, board, [&](unsigned port, std::uint32_t v) {
            seen << QString("%1=%2").arg(port).arg(v, 0, 16);
        });
    QCOMPARE(outcome.exit_code, exit_code);
    QCOMPARE(outcome.line, line);
    QCOMPARE(QString::fromStdString(outcome.message), message);
    QCOMPARE(board.ops, ops);
    QCOMPARE(seen, reads);
}

void TestCliCore::formats_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("json");
    QTest::newRow("small") << 31u << "0000001F"
                           << "31 31"
                           << R"({"port":3,"value":31,"hex":"0000001F","signed":31})";
    QTest::newRow("minus two") << 0xFFFFFFFEu << "FFFFFFFE"
                               << "-2 4294967294"
                               << R"({"port":3,"value":4294967294,"hex":"FFFFFFFE","signed":-2})";
    QTest::newRow("most negative")
        << 0x80000000u << "80000000"
        << "-2147483648 2147483648"
        << R"({"port":3,"value":2147483648,"hex":"80000000","signed":-2147483648})";
    QTest::newRow("zero") << 0u << "00000000"
                          << "0 0"
                          << R"({"port":3,"value":0,"hex":"00000000","signed":0})";
}

void TestCliCore::formats()
{
    QFETCH(quint32, value);
    QFETCH(QString, hex);
    QFETCH(QString, dec);
    QFETCH(QString, json);
    QCOMPARE(QString::fromStdString(read_line(3, value, OutputStyle::hex)), hex);
    QCOMPARE(QString::fromStdString(read_line(3, value, OutputStyle::dec)), dec);
    QCOMPARE(QString::fromStdString(read_line(3, value, OutputStyle::json)), json);
    const std::string time = "2025-03-01T14:05:09.042";
    QCOMPARE(QString::fromStdString(watch_line(time, 3, value, OutputStyle::hex)),
             "2025-03-01T14:05:09.042 3 " + hex);
    QCOMPARE(QString::fromStdString(watch_line(time, 3, value, OutputStyle::dec)),
             "2025-03-01T14:05:09.042 3 " + dec);
    QString with_time = json;
    const QString time_field = R"("time":"2025-03-01T14:05:09.042",)";
    with_time.insert(1, time_field);
    QCOMPARE(QString::fromStdString(watch_line(time, 3, value, OutputStyle::json)), with_time);
}

void TestCliCore::timestamp_is_local_iso_with_milliseconds()
{
    std::tm local{};
    local.tm_year = 2025 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 1;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) + 42ms;
    QCOMPARE(QString::fromStdString(timestamp(when)), QString("2025-03-01T14:05:09.042"));
    QCOMPARE(QString::fromStdString(timestamp(when + 958ms)), QString("2025-03-01T14:05:10.000"));
    const QRegularExpression shape(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}$)");
    QVERIFY(shape.match(QString::fromStdString(timestamp(std::chrono::system_clock::now())))
                .hasMatch());

    // Board and scan lines, in both styles.
    QCOMPARE(QString::fromStdString(
                 board_line("Atlys S6 QOR 2016/17 barebone", kBareboneId, false, OutputStyle::hex)),
             QString("Atlys S6 QOR 2016/17 barebone (0x20161700)"));
    const QString scan_json =
        R"({"port":"COM2","device":"/dev/ttyUSB0","name":"Audio","id":"0x20161701","codec":true})";
    QCOMPARE(QString::fromStdString(scan_line("COM2", "/dev/ttyUSB0", "Audio", kAudioCodecId, true,
                                              OutputStyle::json)),
             scan_json);
}

void TestCliCore::json_strings_escape()
{
    const QString escaped = R"("a \"b\" \\ c\n\t\u0001")";
    const QString empty = R"("")";
    QCOMPARE(QString::fromStdString(json_string("a \"b\" \\ c\n\t\x01")), escaped);
    QCOMPARE(QString::fromStdString(json_string("")), empty);
}

void TestCliCore::transfer_log_of_link_operations()
{
    // The log sees the link's own operations, the codec handshake included.
    auto scripted = std::make_unique<ScriptedLine>();
    ScriptedLine *line = scripted.get();
    QStringList log;
    BoardLink link(std::make_unique<ObservedLine>(
                       std::move(scripted),
                       [&](const Transfer &t) { log << QString::fromStdString(transfer_text(t)); }),
                   {});
    FieldView view;
    link.attach_view(&view);
    QVERIFY(link.open_serial_port());

    line->replies = {0x20, 0x16, 0x17, 0x01, 0x00, 0x00, 0x00, 0x01};
    QVERIFY(link.identify_hw());
    link.write_codec_register(5, 0xBEEF);
    QCOMPARE(link.write_port(0xFFFFFFFE, 10), kDone);
    line->replies = {0x12, 0x34};
    std::uint32_t value = 0;
    QCOMPARE(link.read_port(value, 2), kTimeout);
    line->fail_writes = true;
    QCOMPARE(link.write_port(7, 3), kNotSent);

    QCOMPARE(log, (QStringList{"read 15 20161701", "read 2 00000001", "write 2 0000BEEF",
                               "write 3 00000005", "write 15 00000001", "write 10 FFFFFFFE",
                               "read 2 timeout (2 of 4 bytes)", "write 3 00000007 not sent"}));
    auto observed = std::make_unique<ObservedLine>(std::make_unique<ScriptedLine>(), nullptr);
    QVERIFY(!observed->write_failed());
}

void TestCliCore::sysfs_ports_from_a_tree()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tty = dir.filePath("class/tty");
    const QString hardware = dir.filePath("devices/port");
    QVERIFY(QDir().mkpath(hardware));
    // name, has a device link, type file contents (empty: no type file)
    const struct {
        const char *name;
        bool device;
        const char *type;
    } entries[] = {
        {"tty1", false, ""},    {"ttyS0", true, "0\n"}, {"ttyS1", true, "4\n"},
        {"ttyUSB10", true, ""}, {"ttyUSB2", true, ""},  {"ttyACM0", true, ""},
        {"ptmx", false, ""},    {"ttyS10", true, "4"},
    };
    for (const auto &e : entries) {
        const QString base = tty + "/" + e.name;
        QVERIFY(QDir().mkpath(base));
        if (e.device)
            QVERIFY(QFile::link(hardware, base + "/device"));
        if (*e.type)
            make_file(base + "/type", e.type);
    }
    QStringList devices;
    for (const PortInfo &port : list_sysfs_ports(tty.toStdString(), "/devroot"))
        devices << QString::fromStdString(port.device);
    QCOMPARE(devices, (QStringList{"/devroot/ttyACM0", "/devroot/ttyUSB2", "/devroot/ttyUSB10",
                                   "/devroot/ttyS1", "/devroot/ttyS10"}));
    QVERIFY(list_sysfs_ports(dir.filePath("missing").toStdString()).empty());
}

void TestCliCore::port_list_file_gives_com_names()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray contents = "# test boards\n\n  /tmp/board-a  \n";
    for (int k = 2; k <= 11; ++k)
        contents += "/tmp/board-" + QByteArray::number(k) + " # comment\n";
    make_file(dir.filePath("ports.list"), contents);
    const auto listed = read_port_list(dir.filePath("ports.list").toStdString());
    QVERIFY(listed);
    QCOMPARE(int(listed->size()), 11);
    // Through the panel's ordering, COM<n> is still the n-th line.
    const std::vector<PortInfo> ordered = order_ports(*listed);
    QCOMPARE(resolve_port_name("COM1", ordered), std::optional<std::string>("/tmp/board-a"));
    QCOMPARE(resolve_port_name("COM2", ordered), std::optional<std::string>("/tmp/board-2"));
    QCOMPARE(resolve_port_name("COM10", ordered), std::optional<std::string>("/tmp/board-10"));
    QCOMPARE(resolve_port_name("COM11", ordered), std::optional<std::string>("/tmp/board-11"));
    QCOMPARE(resolve_port_name("COM12", ordered), std::optional<std::string>());
    QVERIFY(!read_port_list(dir.filePath("none.list").toStdString()));
}

void TestCliCore::help_lists_every_exit_code()
{
    const QString help = QString::fromStdString(help_text(Command::none));
    std::set<int> codes;
    for (const ExitCodeText &e : kExitCodes) {
        codes.insert(e.code);
        QVERIFY2(help.contains(QString("  %1  %2\n").arg(e.code).arg(e.meaning)), e.meaning);
    }
    QCOMPARE(codes.size(), kExitCodes.size()); // each outcome its own code
    QVERIFY(codes.count(kExitSuccess) && codes.count(kExitUsage) && codes.count(kExitNoAnswer) &&
            codes.count(kExitCannotOpen) && codes.count(kExitUnknownBoard) &&
            codes.count(kExitExpectationFailed));
}

void TestCliCore::every_command_has_help()
{
    for (Command c : {Command::id, Command::read, Command::write, Command::scan,
                      Command::codec_write, Command::watch, Command::run}) {
        const QString help = QString::fromStdString(help_text(c));
        QVERIFY2(help.startsWith(QString("usage: atlys-cli %1").arg(command_name(c))),
                 command_name(c));
        QVERIFY(help.contains("--port NAME"));
    }
}

QTEST_GUILESS_MAIN(TestCliCore)
#include "test_cli_core.moc"
