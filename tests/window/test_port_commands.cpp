// The port value commands through the window: real button clicks against the
// simulated board, checking the exact bytes the board received and the log.

#include "panel_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using atlys::sim::BoardSim;
using atlys::sim::Fault;
using namespace std::chrono_literals;

namespace {

QByteArray as_bytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

QPushButton *button(const Panel &panel, const QString &name)
{
    return panel.form->findChild<QPushButton *>(name);
}

QLineEdit *field(const Panel &panel, const QString &name)
{
    return panel.form->findChild<QLineEdit *>(name);
}

} // namespace

class TestPortCommands : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void every_write_button_data();
    void every_write_button();
    void every_read_button_data();
    void every_read_button();
    void write_edge_cases_data();
    void write_edge_cases();
    void read_ffff_fffe_in_both_modes();
    void silent_port_keeps_field();
    void mode_change_does_not_reformat();
    void write_with_line_closed();

private:
    // A panel connected to `board_` at start-up; the board's record starts empty.
    std::unique_ptr<Panel> connected_panel();
    QStringList new_lines(const Panel &panel) const { return panel.log().mid(start_lines_); }

    std::unique_ptr<WorkingFolder> dir_;
    std::unique_ptr<BoardSim> board_;
    int start_lines_ = 0;
};

void TestPortCommands::init()
{
    dir_ = std::make_unique<WorkingFolder>();
    QVERIFY(dir_->ok());
    board_ = std::make_unique<BoardSim>();
    QVERIFY(board_->start());
}

void TestPortCommands::cleanup()
{
    board_.reset();
    dir_.reset();
}

std::unique_ptr<Panel> TestPortCommands::connected_panel()
{
    write_config("COM1  115200\r\n");
    auto panel = std::make_unique<Panel>(std::vector<PortInfo>{sim_port("ttyUSB0", *board_)});
    start_lines_ = panel->log().size();
    if (!panel->link->is_open())
        return nullptr;
    board_->clear_received();
    return panel;
}

void TestPortCommands::every_write_button_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("port");
    const char *const buttons[] = {"Button1",  "Button3",  "Button5",  "Button7",
                                   "Button9",  "Button10", "Button11", "Button12",
                                   "Button13", "Button14", "Button15", "Button16",
                                   "Button17", "Button18", "Button19", "Button20"};
    for (int port = 0; port < 16; ++port) {
        const QString field =
            QStringLiteral("dataout%1").arg(port, 0, 16).toUpper().replace("DATAOUT", "dataout");
        QTest::newRow(buttons[port]) << QString(buttons[port]) << field << port;
    }
}

void TestPortCommands::every_write_button()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(int, port);
    auto panel = connected_panel();
    QVERIFY(panel);
    QLineEdit *const edit = ::field(*panel, field);
    QVERIFY(edit);
    edit->setText(QString::number(1000 + port));
    QTest::mouseClick(::button(*panel, button), Qt::LeftButton);
    const quint32 value = quint32(1000 + port);
    QVERIFY(board_->wait_received(5, 2s));
    QCOMPARE(as_bytes(board_->received()),
             QByteArray(1, char(0x20 | port)) +
                 QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0')));
    QCOMPARE(new_lines(*panel),
             QStringList{QString::asprintf("Write %10d to port %x  (hexadecimal: %08Xh)", value,
                                           port, value)});
    QCOMPARE(edit->text(), QString::number(1000 + port)); // a write leaves its field alone
}

void TestPortCommands::every_read_button_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("port");
    const char *const buttons[] = {"Button2",  "Button4",  "Button6",  "Button8",
                                   "Button21", "Button22", "Button23", "Button24"};
    for (int port = 0; port < 8; ++port)
        QTest::newRow(buttons[port]) << QString(buttons[port]) << port;
}

void TestPortCommands::every_read_button()
{
    QFETCH(QString, button);
    QFETCH(int, port);
    auto panel = connected_panel();
    QVERIFY(panel);
    const quint32 value = 0x01020300u + quint32(port);
    board_->set_port_value(unsigned(port), value);
    panel->form->hexdata->setChecked(true);
    QTest::mouseClick(::button(*panel, button), Qt::LeftButton);
    QCOMPARE(as_bytes(board_->received()), QByteArray(1, char(0x30 | port)));
    QCOMPARE(new_lines(*panel),
             QStringList{QString::asprintf("Port[%2d]=%08Xh  (decimal:%10d,  unsigned: %10u)", port,
                                           value, value, value)});
    QCOMPARE(field(*panel, QStringLiteral("datain%1").arg(port))->text(),
             QString::asprintf("%08X", value));
    QCOMPARE(panel->form->timeout->text(), QStringLiteral("data ok"));
}

void TestPortCommands::write_edge_cases_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("line");
    QTest::newRow("hex 1f to port 10") << true << "Button15"
                                       << "dataoutA"
                                       << "1f" << QByteArray::fromHex("2a0000001f")
                                       << "Write 0000001Fh to port A  (decimal:         31)";
    QTest::newRow("decimal -1 to port 11")
        << false << "Button16"
        << "dataoutB"
        << "-1" << QByteArray::fromHex("2bffffffff")
        << "Write         -1 to port b  (hexadecimal: FFFFFFFFh)";
    QTest::newRow("hex 0x10 to port 0") << true << "Button1"
                                        << "dataout0"
                                        << "0x10" << QByteArray::fromHex("2000000010")
                                        << "Write 00000010h to port 0  (decimal:         16)";
    QTest::newRow("decimal 2^31 in full")
        << false << "Button20"
        << "dataoutF"
        << "2147483648" << QByteArray::fromHex("2f80000000")
        << "Write -2147483648 to port f  (hexadecimal: 80000000h)";
    QTest::newRow("decimal ff sends nothing")
        << false << "Button7"
        << "dataout3"
        << "ff" << QByteArray() << "Write P3: 'ff' is not a decimal number, nothing sent";
    QTest::newRow("hex g1 sends nothing")
        << true << "Button7"
        << "dataout3"
        << "g1" << QByteArray() << "Write P3: 'g1' is not a hexadecimal number, nothing sent";
    QTest::newRow("empty field sends nothing")
        << true << "Button19"
        << "dataoutE"
        << "" << QByteArray() << "Write P14: '' is not a hexadecimal number, nothing sent";
    QTest::newRow("sign alone sends nothing")
        << false << "Button13"
        << "dataout8"
        << " -" << QByteArray() << "Write P8: ' -' is not a decimal number, nothing sent";
}

void TestPortCommands::write_edge_cases()
{
    QFETCH(bool, hex);
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    QFETCH(QString, line);
    auto panel = connected_panel();
    QVERIFY(panel);
    panel->form->hexdata->setChecked(hex);
    ::field(*panel, field)->setText(text);
    QTest::mouseClick(::button(*panel, button), Qt::LeftButton);
    QCOMPARE(new_lines(*panel), QStringList{line});
    if (!frame.isEmpty())
        QVERIFY(board_->wait_received(std::size_t(frame.size()), 2s));
    // Follow with a read, so anything the write had sent would be seen before it.
    QTest::mouseClick(panel->form->Button2, Qt::LeftButton);
    QCOMPARE(as_bytes(board_->received()), frame + QByteArray::fromHex("30"));
}

void TestPortCommands::read_ffff_fffe_in_both_modes()
{
    auto panel = connected_panel();
    QVERIFY(panel);
    board_->set_port_value(3, 0xFFFFFFFE);
    const QString line =
        QStringLiteral("Port[ 3]=FFFFFFFEh  (decimal:        -2,  unsigned: 4294967294)");

    panel->form->hexdata->setChecked(true);
    QTest::mouseClick(panel->form->Button8, Qt::LeftButton);
    QCOMPARE(panel->form->datain3->text(), QStringLiteral("FFFFFFFE"));

    panel->form->hexdata->setChecked(false);
    QTest::mouseClick(panel->form->Button8, Qt::LeftButton);
    QCOMPARE(panel->form->datain3->text(), QStringLiteral("        -2"));

    QCOMPARE(new_lines(*panel), (QStringList{line, line}));
    QCOMPARE(as_bytes(board_->received()), QByteArray::fromHex("3333"));
}

void TestPortCommands::silent_port_keeps_field()
{
    auto panel = connected_panel();
    QVERIFY(panel);
    board_->set_behaviour(5, {Fault::silent, {}});
    panel->form->datain5->setText(QStringLiteral("typed"));
    QTest::mouseClick(panel->form->Button22, Qt::LeftButton);
    QCOMPARE(new_lines(*panel), QStringList{"Timeout reading Port[5]"});
    QCOMPARE(panel->form->datain5->text(), QStringLiteral("typed"));
    QCOMPARE(panel->form->timeout->text(), QStringLiteral("timeout"));
    QCOMPARE(panel->form->timeout->palette().color(QPalette::Window), QColor(255, 0, 0));
}

void TestPortCommands::mode_change_does_not_reformat()
{
    auto panel = connected_panel();
    QVERIFY(panel);
    board_->set_port_value(1, 26);
    QTest::mouseClick(panel->form->Button4, Qt::LeftButton); // decimal
    QCOMPARE(panel->form->datain1->text(), QStringLiteral("        26"));
    panel->form->dataout2->setText(QStringLiteral("10"));

    panel->form->hexdata->setChecked(true);
    // Ticking the box changes no text and sends nothing...
    QCOMPARE(panel->form->datain1->text(), QStringLiteral("        26"));
    QCOMPARE(panel->form->dataout2->text(), QStringLiteral("10"));
    // ...but the next command reads "10" as hexadecimal and fills in hexadecimal.
    QTest::mouseClick(panel->form->Button5, Qt::LeftButton);
    QVERIFY(board_->wait_received(6, 2s));
    QTest::mouseClick(panel->form->Button4, Qt::LeftButton);
    QCOMPARE(panel->form->datain1->text(), QStringLiteral("0000001A"));
    QCOMPARE(as_bytes(board_->received()), QByteArray::fromHex("31"
                                                               "2200000010"
                                                               "31"));
    QCOMPARE(new_lines(*panel).at(1),
             QStringLiteral("Write 00000010h to port 2  (decimal:         16)"));
}

void TestPortCommands::write_with_line_closed()
{
    // No config.dat and COM1 names nothing: the line stays closed.
    Panel panel({});
    QVERIFY(!panel.link->is_open());
    const int before = panel.log().size();
    panel.form->dataout4->setText(QStringLiteral("5"));
    QTest::mouseClick(panel.form->Button9, Qt::LeftButton);
    QCOMPARE(panel.log().mid(before),
             (QStringList{"Write          5 to port 4  (hexadecimal: 00000005h)",
                          "Nothing was sent: the serial port is not open"}));
    QTest::mouseClick(panel.form->Button2, Qt::LeftButton);
    QCOMPARE(panel.log().mid(before + 2), QStringList{"Timeout reading Port[0]"});
    QVERIFY(board_->received().empty());
}

QTEST_MAIN(TestPortCommands)
#include "test_port_commands.moc"
