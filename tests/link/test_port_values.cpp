// Number entry and the port command messages.

#include "port_values.h"

#include <QtTest>

using namespace atlys;

class TestPortValues : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parse_matches_wide_arithmetic();
    void messages_data();
    void messages();
};

void TestPortValues::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("value");
    auto row = [](const char *name, const QByteArray &text, bool hex, bool valid, quint32 value) {
        QTest::newRow(name) << text << hex << valid << value;
    };
    row("hex 1f", "1f", true, true, 0x1F);
    row("hex 10", "10", true, true, 16);
    row("hex 0x10", "0x10", true, true, 16);
    row("hex 0X10", "0X10", true, true, 16);
    row("hex abc alone", "abc", true, true, 0xABC);
    row("hex upper", "DEADBEEF", true, true, 0xDEADBEEF);
    row("hex 0x alone", "0x", true, true, 0);
    row("hex 0xg", "0xg", true, true, 0);
    row("hex -1", "-1", true, true, 0xFFFFFFFF);
    row("hex -0x10", "-0x10", true, true, 0xFFFFFFF0);
    row("hex +ff", "+ff", true, true, 0xFF);
    row("hex leading blanks", " \t\n1f", true, true, 0x1F);
    row("hex trailing text", "1fz9", true, true, 0x1F);
    row("hex above 32 bits", "123456789", true, true, 0x23456789);
    row("hex 64 bits", "ffffffffffffffff", true, true, 0xFFFFFFFF);
    row("hex above 64 bits", "1234567890abcdef12", true, true, 0xabcdef12);
    row("dec 12abc", "12abc", false, true, 12);
    row("dec -0", "-0", false, true, 0);
    row("dec -1", "-1", false, true, 0xFFFFFFFF);
    row("dec 31", "31", false, true, 31);
    row("dec 2^31", "2147483648", false, true, 0x80000000);
    row("dec -2^31", "-2147483648", false, true, 0x80000000);
    row("dec 2^32", "4294967296", false, true, 0);
    row("dec 2^32+5", "4294967301", false, true, 5);
    row("dec 2^64+7 wraps", "18446744073709551623", false, true, 7);
    row("dec 0x10 is zero", "0x10", false, true, 0);
    row("dec +7", "+7", false, true, 7);
    row("empty", "", false, false, 0);
    row("hex empty", "", true, false, 0);
    row("blanks only", "   ", true, false, 0);
    row("sign alone", "-", false, false, 0);
    row("hex sign alone", "+", true, false, 0);
    row("ff in decimal", "ff", false, false, 0);
    row("g1 in hex", "g1", true, false, 0);
    row("x1 in hex", "x1", true, false, 0);
    row("sign then blank", "- 5", false, false, 0);
    row("double sign", "--5", false, false, 0);
}

void TestPortValues::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, hex);
    QFETCH(bool, valid);
    QFETCH(quint32, value);
    const auto parsed = parse_port_value(text.toStdString(), hex);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

// Long random digit strings against a reference computed with 128-bit arithmetic.
void TestPortValues::parse_matches_wide_arithmetic()
{
    QRandomGenerator rng(20261211);
    for (int round = 0; round < 2000; ++round) {
        const bool hex = rng.bounded(2) == 1;
        const bool negative = rng.bounded(2) == 1;
        const int length = 1 + int(rng.bounded(40));
        std::string digits;
        unsigned __int128 reference = 0;
        for (int k = 0; k < length; ++k) {
            const unsigned d = rng.bounded(hex ? 16u : 10u);
            digits += "0123456789abcdef"[d];
            reference = reference * (hex ? 16 : 10) + d;
        }
        if (negative)
            reference = ~reference + 1;
        const auto parsed = parse_port_value((negative ? "-" : "") + digits, hex);
        QVERIFY(parsed.has_value());
        QCOMPARE(*parsed, std::uint32_t(reference));
    }
}

void TestPortValues::messages_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const std::string &got, const char *expected) {
        QTest::newRow(name) << QString::fromStdString(got) << QString(expected);
    };
    row("write hex port A", write_message(0x1F, 10, true),
        "Write 0000001Fh to port A  (decimal:         31)");
    row("write dec port b", write_message(0xFFFFFFFF, 11, false),
        "Write         -1 to port b  (hexadecimal: FFFFFFFFh)");
    row("write dec 2^31 in full", write_message(0x80000000, 0, false),
        "Write -2147483648 to port 0  (hexadecimal: 80000000h)");
    row("write hex 2^31", write_message(0x80000000, 15, true),
        "Write 80000000h to port F  (decimal: -2147483648)");
    row("read FFFFFFFE", read_message(3, 0xFFFFFFFE),
        "Port[ 3]=FFFFFFFEh  (decimal:        -2,  unsigned: 4294967294)");
    row("read 2^31", read_message(7, 0x80000000),
        "Port[ 7]=80000000h  (decimal:-2147483648,  unsigned: 2147483648)");
    row("field hex", read_field_text(0xFFFFFFFE, true), "FFFFFFFE");
    row("field dec", read_field_text(0xFFFFFFFE, false), "        -2");
    row("field dec 2^31", read_field_text(0x80000000, false), "-2147483648");
    row("field hex small", read_field_text(0x1F, true), "0000001F");
    row("timeout 0", read_timeout_message(0), "Timeout reading Port[0]");
    row("timeout 7", read_timeout_message(7), "Timeout reading Port[7]");
    row("no number hex", no_number_message(3, "g1", true),
        "Write P3: 'g1' is not a hexadecimal number, nothing sent");
    row("no number dec", no_number_message(12, "", false),
        "Write P12: '' is not a decimal number, nothing sent");
}

void TestPortValues::messages()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestPortValues)
#include "test_port_values.moc"
