// The window against a misbehaving board: the simulated board goes away in
// mid-session and comes back, or answers late, while the operator clicks on.

#include "panel_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using atlys::sim::BoardSim;
using atlys::sim::Fault;
using namespace std::chrono_literals;

namespace {

const QString kBarebone =
    QStringLiteral("Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'");
const QColor kLime{0, 255, 0};
const QColor kRed{255, 0, 0};

QColor indicator_colour(const Panel &panel)
{
    return panel.form->timeout->palette().color(QPalette::Window);
}

} // namespace

class TestFaultsWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void board_goes_away_and_comes_back_data();
    void board_goes_away_and_comes_back();
    void late_reply_data();
    void late_reply();

private:
    // The lines logged since the last call.
    QStringList new_lines(const Panel &panel);
    // The system's port list while the board is plugged in, and after.
    std::vector<PortInfo> listed() const;

    std::unique_ptr<WorkingFolder> dir_;
    std::unique_ptr<BoardSim> board_;
    int seen_lines_ = 0;
};

void TestFaultsWindow::init()
{
    dir_ = std::make_unique<WorkingFolder>();
    QVERIFY(dir_->ok());
    board_ = std::make_unique<BoardSim>();
    QVERIFY(board_->start(dir_->filePath(QStringLiteral("atlys-board")).toStdString()));
    seen_lines_ = 0;
}

void TestFaultsWindow::cleanup()
{
    board_.reset();
    dir_.reset();
}

QStringList TestFaultsWindow::new_lines(const Panel &panel)
{
    const QStringList log = panel.log();
    QStringList lines = log.mid(seen_lines_);
    seen_lines_ = int(log.size());
    return lines;
}

std::vector<PortInfo> TestFaultsWindow::listed() const
{
    if (!board_->present())
        return {};
    return {sim_port("ttyUSB0", *board_)};
}

void TestFaultsWindow::board_goes_away_and_comes_back_data()
{
    QTest::addColumn<bool>("com_name");
    QTest::newRow("device path in config.dat") << false;
    QTest::newRow("COM1 in config.dat") << true;
}

void TestFaultsWindow::board_goes_away_and_comes_back()
{
    QFETCH(bool, com_name);
    const QString name =
        com_name ? QStringLiteral("COM1") : QString::fromStdString(board_->link_path());
    write_config(name.toUtf8() + "  115200\r\n");
    Panel panel(listed());
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.form.get()));
    const QString using_line =
        QStringLiteral("Using serial port %1 (baudrate: 115200 bps)").arg(name);
    QCOMPARE(new_lines(panel).mid(1), (QStringList{kBarebone, using_line}));
    board_->set_port_value(3, 0x33);
    panel.form->hexdata->setChecked(true);
    QTest::mouseClick(panel.form->Button8, Qt::LeftButton);
    QCOMPARE(panel.form->datain3->text(), QStringLiteral("00000033"));
    new_lines(panel);

    board_->go_away();
    panel.ports = listed(); // the unplugged adapter leaves the system's list

    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(panel.form->Button8, Qt::LeftButton);
    const qint64 elapsed = timer.elapsed();
    qInfo("Read P3 of a board that went away: %lld ms", elapsed);
    QVERIFY2(elapsed < 600, qPrintable(QString::number(elapsed)));
    QCOMPARE(new_lines(panel), QStringList{"Timeout reading Port[3]"});
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("timeout"));
    QCOMPARE(indicator_colour(panel), kRed);
    QCOMPARE(panel.form->datain3->text(), QStringLiteral("00000033"));

    // The window keeps answering: events are delivered, and every click
    // gives its line at once.
    bool delivered = false;
    QTimer::singleShot(0, panel.form.get(), [&delivered] { delivered = true; });
    QTRY_VERIFY(delivered);
    panel.form->dataout4->setText(QStringLiteral("5"));
    panel.form->hexdata->setChecked(false);
    timer.start();
    QTest::mouseClick(panel.form->Button9, Qt::LeftButton);
    QTest::mouseClick(panel.form->Button2, Qt::LeftButton);
    QTest::mouseClick(panel.form->Button24, Qt::LeftButton);
    QVERIFY2(timer.elapsed() < 600, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(new_lines(panel), (QStringList{"Write          5 to port 4  (hexadecimal: 00000005h)",
                                            "Nothing was sent: writing to the serial port failed",
                                            "Timeout reading Port[0]", "Timeout reading Port[7]"}));

    // "Reopen serial port" finds no device behind the name.
    QTest::mouseClick(panel.form->Button25, Qt::LeftButton);
    QCOMPARE(new_lines(panel), QStringList{QStringLiteral("Can't open serial port %1").arg(name)});
    QVERIFY(!panel.link->is_open());

    // Plugged in again (a new pseudo-terminal behind the same link, and back
    // in the system's list): reopening connects and the board answers.
    QVERIFY(board_->come_back());
    panel.ports = listed();
    QTest::mouseClick(panel.form->Button25, Qt::LeftButton);
    QCOMPARE(new_lines(panel), (QStringList{kBarebone, using_line}));
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("data ok"));
    QCOMPARE(indicator_colour(panel), kLime);
    QTest::mouseClick(panel.form->Button9, Qt::LeftButton);
    QTest::mouseClick(panel.form->Button21, Qt::LeftButton);
    QCOMPARE(new_lines(panel),
             (QStringList{"Write          5 to port 4  (hexadecimal: 00000005h)",
                          "Port[ 4]=00000005h  (decimal:         5,  unsigned:          5)"}));
    QCOMPARE(panel.form->datain4->text(), QStringLiteral("         5"));
    QCOMPARE(panel.form->serialport_txt->text(), name);
}

void TestFaultsWindow::late_reply_data()
{
    QTest::addColumn<int>("delay_ms");
    QTest::addColumn<bool>("taken");
    QTest::newRow("550 ms: inside the reply window") << 550 << true;
    QTest::newRow("650 ms: past the reply window") << 650 << false;
}

void TestFaultsWindow::late_reply()
{
    QFETCH(int, delay_ms);
    QFETCH(bool, taken);
    write_config(QByteArray::fromStdString(board_->link_path()) + "  115200\r\n");
    Panel panel({});
    QVERIFY(panel.link->is_open());
    new_lines(panel);
    board_->set_port_value(1, 0x11223344);
    board_->set_port_value(2, 0x55667788);
    board_->set_behaviour(1, {Fault::delayed, std::chrono::milliseconds{delay_ms}});
    panel.form->hexdata->setChecked(true);
    panel.form->datain1->setText(QStringLiteral("before"));
    panel.form->datain2->setText(QStringLiteral("before"));

    QTest::mouseClick(panel.form->Button4, Qt::LeftButton);
    board_->clear_faults();
    QTest::mouseClick(panel.form->Button6, Qt::LeftButton);

    const QString late_line =
        QStringLiteral("Port[ 2]=11223344h  (decimal: 287454020,  unsigned:  287454020)");
    if (taken) {
        QCOMPARE(new_lines(panel),
                 (QStringList{"Port[ 1]=11223344h  (decimal: 287454020,  unsigned:  287454020)",
                              "Port[ 2]=55667788h  (decimal:1432778632,  unsigned: 1432778632)"}));
        QCOMPARE(panel.form->datain1->text(), QStringLiteral("11223344"));
        QCOMPARE(panel.form->datain2->text(), QStringLiteral("55667788"));
    } else {
        // Port 1's late reply is what the read of port 2 finds.
        QCOMPARE(new_lines(panel), (QStringList{"Timeout reading Port[1]", late_line}));
        QCOMPARE(panel.form->datain1->text(), QStringLiteral("before"));
        QCOMPARE(panel.form->datain2->text(), QStringLiteral("11223344"));
    }
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("data ok"));
}

QTEST_MAIN(TestFaultsWindow)
#include "test_faults_window.moc"
