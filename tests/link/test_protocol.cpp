// Pure parts of the link: frames, port names and the settings file.

#include "board_link.h"
#include "config_file.h"
#include "frames.h"
#include "port_names.h"
#include "text_format.h"

#include <QtTest>

#include <sstream>

using namespace atlys;

Q_DECLARE_METATYPE(std::string)

namespace {

QByteArray bytes(const WriteFrame &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), int(frame.size()));
}

PortInfo port(const std::string &name)
{
    return {name, "/dev/" + name, {}, {}, {}};
}

QStringList names(const std::vector<PortInfo> &ports)
{
    QStringList list;
    for (const auto &p : ports)
        list << QString::fromStdString(p.name);
    return list;
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT

private slots:
    void write_frame_data();
    void write_frame();
    void read_request_and_reply();

    void natural_order();
    void panel_order();
    void port_name_resolution_data();
    void port_name_resolution();
    void tooltip_text();

    void config_read_data();
    void config_read();
    void config_huge_inputs();
    void config_format_round_trip();
    void name_checks_data();
    void name_checks();
    void hw_table();
};

void TestProtocol::write_frame_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<unsigned>("port");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("all ones to port 3") << 0xFFFFFFFFu << 3u << QByteArray::fromHex("23ffffffff");
    QTest::newRow("1f to port 10") << 0x1Fu << 10u << QByteArray::fromHex("2a0000001f");
    QTest::newRow("msb first") << 0x12345678u << 15u << QByteArray::fromHex("2f12345678");
    QTest::newRow("zero to port 0") << 0u << 0u << QByteArray::fromHex("2000000000");
}

void TestProtocol::write_frame()
{
    QFETCH(quint32, value);
    QFETCH(unsigned, port);
    QFETCH(QByteArray, frame);
    QCOMPARE(bytes(make_write_frame(value, port)), frame);
}

void TestProtocol::read_request_and_reply()
{
    QCOMPARE(make_read_request(15), std::uint8_t{0x3F});
    QCOMPARE(make_read_request(0), std::uint8_t{0x30});
    QCOMPARE(make_read_request(0x13), std::uint8_t{0x33}); // folded to the low four bits
    QCOMPARE(decode_reply({0x80, 0x00, 0x00, 0x01}), 0x80000001u);
    QCOMPARE(decode_reply({0xFF, 0xFF, 0xFF, 0xFE}), 0xFFFFFFFEu);
    QCOMPARE(read_timeout(4), std::chrono::milliseconds{600});
    QCOMPARE(read_timeout(1), std::chrono::milliseconds{300});
}

void TestProtocol::natural_order()
{
    QStringList input{"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyS1", "ttyS10", "ttyS2", "a01", "a1"};
    std::vector<std::string> v;
    for (const auto &s : input)
        v.push_back(s.toStdString());
    std::sort(v.begin(), v.end(), natural_less);
    QStringList sorted;
    for (const auto &s : v)
        sorted << QString::fromStdString(s);
    QCOMPARE(sorted, (QStringList{"a01", "a1", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB2",
                                  "ttyUSB10"}));
    QVERIFY(!natural_less("ttyUSB2", "ttyUSB2"));
}

void TestProtocol::panel_order()
{
    std::vector<PortInfo> ports;
    for (const char *n : {"ttyS0", "ttyS10", "ttyUSB10", "ttyS2", "ttyACM1", "ttyUSB2", "ttyAMA0",
                          "ttyUSB0", "ttyACM0"})
        ports.push_back(port(n));
    // 32 ghost ttyS ports never push a plugged-in board back.
    for (int k = 11; k < 43; ++k)
        ports.push_back(port("ttyS" + std::to_string(k)));
    const auto ordered = order_ports(ports);
    QCOMPARE(names(ordered).mid(0, 9),
             (QStringList{"ttyACM0", "ttyACM1", "ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyAMA0",
                          "ttyS0", "ttyS2", "ttyS10"}));
    QCOMPARE(ordered.size(), ports.size());
}

void TestProtocol::port_name_resolution_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device"); // "-" when the name designates nothing
    QTest::newRow("COM1") << "COM1"
                          << "/dev/ttyACM0";
    QTest::newRow("COM3") << "COM3"
                          << "/dev/ttyS0";
    QTest::newRow("lower case") << "com2"
                                << "/dev/ttyUSB0";
    QTest::newRow("past the list") << "COM4"
                                   << "-";
    QTest::newRow("COM0 is a plain name") << "COM0"
                                          << "/dev/COM0";
    QTest::newRow("leading zero is a plain name") << "COM01"
                                                  << "/dev/COM01";
    QTest::newRow("huge number") << "COM99999999999"
                                 << "/dev/COM99999999999";
    QTest::newRow("bare name") << "ttyUSB1"
                               << "/dev/ttyUSB1";
    QTest::newRow("path unchanged") << "/dev/serial/by-id/usb-FTDI-if00"
                                    << "/dev/serial/by-id/usb-FTDI-if00";
    QTest::newRow("relative path unchanged") << "./board"
                                             << "./board";
    QTest::newRow("empty") << ""
                           << "";
}

void TestProtocol::port_name_resolution()
{
    QFETCH(QString, name);
    QFETCH(QString, device);
    const auto ordered = order_ports({port("ttyS0"), port("ttyUSB0"), port("ttyACM0")});
    const auto resolved = resolve_port_name(name.toStdString(), ordered);
    if (device == "-") {
        QVERIFY(!resolved.has_value());
    } else {
        QVERIFY(resolved.has_value());
        QCOMPARE(QString::fromStdString(*resolved), device);
    }
}

void TestProtocol::tooltip_text()
{
    PortInfo usb{"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10K"};
    const auto text = describe_com_names(order_ports({port("ttyS0"), usb}));
    QCOMPARE(QString::fromStdString(text),
             QString("COM1 = /dev/ttyUSB0 (FT232R USB UART, FTDI, A10K)\nCOM2 = /dev/ttyS0"));
    QVERIFY(QString::fromStdString(describe_com_names({})).contains("No serial port"));
}

void TestProtocol::config_read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name"); // "-" when no usable name
    QTest::addColumn<int>("baud");     // 0 when the speed is missing or malformed
    QTest::addColumn<bool>("too_long");
    QTest::newRow("as saved") << QByteArray("COM4  9600\r\n") << "COM4" << 9600 << false;
    QTest::newRow("LF") << QByteArray("COM4  9600\n") << "COM4" << 9600 << false;
    QTest::newRow("no line end") << QByteArray("COM4  9600") << "COM4" << 9600 << false;
    QTest::newRow("name only") << QByteArray("COM4") << "COM4" << 0 << false;
    QTest::newRow("empty") << QByteArray("") << "-" << 0 << false;
    QTest::newRow("white space only") << QByteArray(" \r\n\t") << "-" << 0 << false;
    QTest::newRow("leading space, tabs")
        << QByteArray("\n\t /dev/ttyUSB0\t57600x") << "/dev/ttyUSB0" << 57600 << false;
    QTest::newRow("saved with empty field") << QByteArray("  115200\r\n") << "115200" << 0 << false;
    QTest::newRow("name with a space") << QByteArray("my port 7  9600\r\n") << "my" << 0 << false;
    QTest::newRow("second word digits") << QByteArray("COM5 12abc") << "COM5" << 12 << false;
    QTest::newRow("plus sign") << QByteArray("COM5 +2400") << "COM5" << 2400 << false;
    QTest::newRow("zero speed") << QByteArray("COM5 0") << "COM5" << 0 << false;
    QTest::newRow("negative speed") << QByteArray("COM5 -9600") << "COM5" << 0 << false;
    QTest::newRow("largest speed")
        << QByteArray("COM5 2147483647") << "COM5" << 2147483647 << false;
    QTest::newRow("speed past 32 bits") << QByteArray("COM5 2147483648") << "COM5" << 0 << false;
    QTest::newRow("very long digits")
        << QByteArray("COM5 " + QByteArray(5000, '9')) << "COM5" << 0 << false;
    QTest::newRow("sign alone") << QByteArray("COM5 -") << "COM5" << 0 << false;
    QTest::newRow("name at the bound")
        << QByteArray(255, 'n') + " 300" << QString(255, 'n') << 300 << false;
    QTest::newRow("name past the bound") << QByteArray(256, 'n') + " 300"
                                         << "-" << 300 << true;
    QTest::newRow("NUL in the name") << QByteArray("CO\0M1 9600", 10) << "-" << 9600 << false;
    QTest::newRow("binary") << QByteArray::fromHex("ff00fe0d0a3132") << "-" << 12 << false;
    QTest::newRow("utf-8 name") << QByteArray("/dev/serial/by-id/\xc3\xa9 4800")
                                << "/dev/serial/by-id/é" << 4800 << false;
}

void TestProtocol::config_read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(int, baud);
    QFETCH(bool, too_long);
    std::istringstream in(file.toStdString());
    const ConfigRead read = parse_config(in);
    if (name == "-")
        QVERIFY(!read.name.has_value());
    else
        QCOMPARE(QString::fromStdString(read.name.value_or("<none>")), name);
    QCOMPARE(read.baud_rate.value_or(0), baud);
    QCOMPARE(read.name_too_long, too_long);
}

void TestProtocol::config_huge_inputs()
{
    // A 10 MB word and 10 MB of white space give a defined result.
    std::istringstream word(std::string(10 * 1024 * 1024, 'x') + "  9600");
    const ConfigRead long_word = parse_config(word);
    QVERIFY(!long_word.name);
    QVERIFY(long_word.name_too_long);
    QCOMPARE(long_word.rejected_name_length, std::size_t{10 * 1024 * 1024});
    QCOMPARE(long_word.baud_rate.value_or(0), 9600);

    std::istringstream blank(std::string(10 * 1024 * 1024, ' '));
    const ConfigRead only_blank = parse_config(blank);
    QVERIFY(!only_blank.name);
    QVERIFY(!only_blank.baud_rate);
}

void TestProtocol::config_format_round_trip()
{
    QCOMPARE(QByteArray::fromStdString(format_config("COM4", 9600)), QByteArray("COM4  9600\r\n"));
    QCOMPARE(QByteArray::fromStdString(format_config("", 115200)), QByteArray("  115200\r\n"));
    for (const std::string &name :
         std::vector<std::string>{"COM1", "/dev/ttyUSB0", std::string(255, 'p')}) {
        std::istringstream in(format_config(name, 230400));
        const ConfigRead read = parse_config(in);
        QCOMPARE(read.name.value_or("<none>"), name);
        QCOMPARE(read.baud_rate.value_or(0), 230400);
    }
}

void TestProtocol::name_checks_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("problem");
    QTest::newRow("plain") << QByteArray("COM2") << int(NameProblem::none);
    QTest::newRow("path") << QByteArray("/dev/serial/by-id/x") << int(NameProblem::none);
    QTest::newRow("empty") << QByteArray("") << int(NameProblem::empty);
    QTest::newRow("space") << QByteArray("my port") << int(NameProblem::white_space);
    QTest::newRow("tab") << QByteArray("a\tb") << int(NameProblem::white_space);
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << int(NameProblem::control_character);
    QTest::newRow("bound") << QByteArray(255, 'a') << int(NameProblem::none);
    QTest::newRow("past bound") << QByteArray(256, 'a') << int(NameProblem::too_long);
}

void TestProtocol::name_checks()
{
    QFETCH(QByteArray, name);
    QFETCH(int, problem);
    QCOMPARE(int(check_port_name(name.toStdString())), problem);
}

void TestProtocol::hw_table()
{
    QCOMPARE(hw_config_count, 2u);
    QCOMPARE(QString(hw_config_table[0].name), QString("Atlys S6 QOR 2016/17 barebone"));
    QCOMPARE(hw_config_table[0].id, 0x20161700u);
    QCOMPARE(hw_config_table[0].codec, 0);
    QCOMPARE(QString(hw_config_table[1].name), QString("Atlys S6 QOR 2016/17 Audio Codec"));
    QCOMPARE(hw_config_table[1].id, 0x20161701u);
    QCOMPARE(hw_config_table[1].codec, 1);
    QCOMPARE(QString::fromStdString(format("%s=%08X", "v", 31u)), QString("v=0000001F"));
    QCOMPARE(format("%s", std::string(1000, 'x').c_str()).size(), std::size_t{1000});
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
