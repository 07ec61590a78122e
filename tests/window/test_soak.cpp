// Soak: a long mixed session through the window against the simulated board.
//
// mixed_commands clicks write and read buttons, toggles "Hexadecimal" and now
// and then reopens the port, in a random but seeded order. It keeps its own
// model of the board and of the log (the messages are formatted here, from
// the values it typed), and at the end compares the whole log and every
// byte the board received. reopen_cycles reopens the port again and again
// and compares the open file descriptors before and after.
//
// Sizes come from the environment (the full sizes by default; a shorter or
// longer soak when asked):
//   ATLYS_SOAK_COMMANDS  commands of mixed_commands (default 10000)
//   ATLYS_SOAK_REOPENS   cycles of reopen_cycles (default 1000)
//   ATLYS_SOAK_SEED      seed of the command order (default 20161700)
// Resident memory at the start and the end is printed, not judged: the log
// is the one thing meant to grow.

#include "panel_fixture.h"
#include "process_figures.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <array>
#include <random>

using atlys::sim::BoardSim;
using namespace std::chrono_literals;

namespace {

const QString kTitle = QStringLiteral("QOR 2016/2017 - Atlys board control");
const QString kDetected =
    QStringLiteral("Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'");
const QString kUsing = QStringLiteral("Using serial port COM1 (baudrate: 115200 bps)");

int size_from_environment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

QStringList log_lines(const Panel &panel)
{
    QStringList lines;
    const ActivityLog *const log = panel.form->cmdw;
    lines.reserve(log->line_count());
    for (int i = 0; i < log->line_count(); ++i)
        lines << log->line(i);
    return lines;
}

QByteArray as_bytes(const std::vector<std::uint8_t> &v)
{
    return {reinterpret_cast<const char *>(v.data()), int(v.size())};
}

void append_value(QByteArray &bytes, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

// The buttons and fields of the port rows, by port.
struct Rows {
    std::array<QPushButton *, 16> write{};
    std::array<QLineEdit *, 16> out{};
    std::array<QPushButton *, 8> read{};
    std::array<QLineEdit *, 8> in{};
};

Rows rows_of(const TForm1 &form)
{
    Rows rows;
    const QList<QPushButton *> buttons = form.findChildren<QPushButton *>();
    for (QPushButton *const b : buttons) {
        const QString caption = b->text();
        if (caption.startsWith(QLatin1String("Write P")))
            rows.write[caption.mid(7).toUInt()] = b;
        else if (caption.startsWith(QLatin1String("Read P")))
            rows.read[caption.mid(6).toUInt()] = b;
    }
    for (unsigned p = 0; p < 16; ++p)
        rows.out[p] = form.findChild<QLineEdit *>(QStringLiteral("dataout") +
                                                  QString::number(p, 16).toUpper());
    for (unsigned p = 0; p < 8; ++p)
        rows.in[p] = form.findChild<QLineEdit *>(QStringLiteral("datain%1").arg(p));
    return rows;
}

// How many lines of `expected` appear in `actual` in their order.
int lines_in_order(const QStringList &actual, const QStringList &expected)
{
    int matched = 0;
    for (const QString &line : actual) {
        if (matched < expected.size() && line == expected[matched])
            ++matched;
    }
    return matched;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mixed_commands();
    void reopen_cycles();

private:
    std::unique_ptr<Panel> connected_panel();

    std::unique_ptr<WorkingFolder> dir_;
    std::unique_ptr<BoardSim> board_;
};

void TestSoak::init()
{
    dir_ = std::make_unique<WorkingFolder>();
    QVERIFY(dir_->ok());
    board_ = std::make_unique<BoardSim>();
    QVERIFY(board_->start());
}

void TestSoak::cleanup()
{
    board_.reset();
    dir_.reset();
}

std::unique_ptr<Panel> TestSoak::connected_panel()
{
    write_config("COM1  115200\r\n");
    auto panel = std::make_unique<Panel>(std::vector<PortInfo>{sim_port("ttyUSB0", *board_)});
    panel->form->show();
    if (!QTest::qWaitForWindowExposed(panel->form.get()) || !panel->link->is_open())
        return nullptr;
    return panel;
}

void TestSoak::mixed_commands()
{
    const int commands = size_from_environment("ATLYS_SOAK_COMMANDS", 10000);
    const auto seed =
        static_cast<std::mt19937::result_type>(size_from_environment("ATLYS_SOAK_SEED", 20161700));
    auto panel = connected_panel();
    QVERIFY(panel);
    QCoreApplication::processEvents();
    const long rss_start = resident_kb();
    const Rows rows = rows_of(*panel->form);
    for (QPushButton *const b : rows.write)
        QVERIFY(b);
    for (QPushButton *const b : rows.read)
        QVERIFY(b);
    for (QLineEdit *const f : rows.out)
        QVERIFY(f);
    for (QLineEdit *const f : rows.in)
        QVERIFY(f);
    QCheckBox *const hexdata = panel->form->hexdata;

    // The model: what the board holds, what the log must show, what the
    // board must receive.
    std::array<quint32, 16> board{};
    QStringList expected{kTitle, kDetected, kUsing};
    QByteArray expected_bytes(1, char(0x3f)); // the identification at start-up
    bool hex = false;
    int writes = 0, reads = 0, refused = 0, toggles = 0, reopens = 0;

    std::mt19937 random(seed);
    const auto pick = [&random](unsigned n) { return unsigned(random() % n); };
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < commands; ++k) {
        const unsigned kind = pick(100);
        if (kind < 44) {
            // Write a random value, typed in one of the ways the mode accepts.
            const unsigned port = pick(16);
            const auto value = quint32(random());
            QString text;
            switch (pick(4)) {
            case 0:
                text = hex ? QString::asprintf("%x", value) : QString::asprintf("%u", value);
                break;
            case 1:
                text =
                    hex ? QString::asprintf("0X%X", value) : QString::asprintf("%d", qint32(value));
                break;
            case 2:
                text =
                    hex ? QString::asprintf(" -%x", 0U - value) : QString::asprintf("  +%u", value);
                break;
            default:
                text = hex ? QString::asprintf("0x%08xzz", value)
                           : QString::asprintf("%u.5 volts", value);
                break;
            }
            rows.out[port]->setText(text);
            QTest::mouseClick(rows.write[port], Qt::LeftButton);
            expected << (hex ? QString::asprintf("Write %08Xh to port %X  (decimal: %10d)", value,
                                                 port, qint32(value))
                             : QString::asprintf("Write %10d to port %x  (hexadecimal: %08Xh)",
                                                 qint32(value), port, value));
            expected_bytes.append(char(0x20 | port));
            append_value(expected_bytes, value);
            if (port < 15)
                board[port] = value;
            ++writes;
        } else if (kind < 88) {
            const unsigned port = pick(8);
            QTest::mouseClick(rows.read[port], Qt::LeftButton);
            const quint32 value = board[port];
            expected << QString::asprintf("Port[%2d]=%08Xh  (decimal:%10d,  unsigned: %10u)",
                                          int(port), value, qint32(value), value);
            expected_bytes.append(char(0x30 | port));
            const QString field =
                hex ? QString::asprintf("%08X", value) : QString::asprintf("%10d", qint32(value));
            QCOMPARE(rows.in[port]->text(), field);
            ++reads;
        } else if (kind < 91) {
            // A field with no number of the mode: one line, nothing sent.
            const unsigned port = pick(16);
            const QString text = hex ? QStringLiteral("g%1").arg(k) : QStringLiteral("x%1").arg(k);
            rows.out[port]->setText(text);
            QTest::mouseClick(rows.write[port], Qt::LeftButton);
            expected << QStringLiteral("Write P%1: '%2' is not a %3 number, nothing sent")
                            .arg(port)
                            .arg(text,
                                 hex ? QStringLiteral("hexadecimal") : QStringLiteral("decimal"));
            ++refused;
        } else if (kind < 99) {
            // Click the box itself, left of its caption.
            QTest::mouseClick(hexdata, Qt::LeftButton, {}, QPoint(6, hexdata->height() / 2));
            hex = !hex;
            QCOMPARE(hexdata->isChecked(), hex);
            ++toggles;
        } else {
            QTest::mouseClick(panel->form->Button25, Qt::LeftButton);
            expected << kDetected << kUsing;
            expected_bytes.append(char(0x3f));
            ++reopens;
        }
        // Let the window paint and scroll now and then, as between clicks.
        if (k % 64 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const qint64 elapsed = timer.elapsed();

    const QStringList logged = log_lines(*panel);
    const int in_order = lines_in_order(logged, expected);
    const long rss_end = resident_kb();
    qInfo("%d commands (seed %u: %d writes, %d reads, %d without a number, %d mode toggles, "
          "%d reopens) in %lld ms",
          commands, unsigned(seed), writes, reads, refused, toggles, reopens, elapsed);
    qInfo("lines logged %lld, expected %lld, lost or out of order %lld, unexpected %lld",
          qint64(logged.size()), qint64(expected.size()), qint64(expected.size() - in_order),
          qint64(logged.size() - in_order));
    qInfo("resident memory: %ld kB at the start, %ld kB at the end", rss_start, rss_end);

    QCOMPARE(logged, expected);
    QVERIFY(board_->wait_received(std::size_t(expected_bytes.size()), 5s));
    QCOMPARE(as_bytes(board_->received()), expected_bytes);
}

void TestSoak::reopen_cycles()
{
    const int cycles = size_from_environment("ATLYS_SOAK_REOPENS", 1000);
    auto panel = connected_panel();
    QVERIFY(panel);
    // One cycle first, so whatever the first reopen sets up for good is
    // counted on both sides.
    QTest::mouseClick(panel->form->Button25, Qt::LeftButton);
    const long fds_before = open_descriptors();
    const long rss_before = resident_kb();

    for (int k = 0; k < cycles; ++k) {
        const int before = panel->form->cmdw->line_count();
        QTest::mouseClick(panel->form->Button25, Qt::LeftButton);
        const ActivityLog *const log = panel->form->cmdw;
        QCOMPARE(log->line_count(), before + 2);
        QCOMPARE(log->line(before), kDetected);
        QCOMPARE(log->line(before + 1), kUsing);
        QVERIFY(panel->link->is_open());
        if (k % 16 == 0)
            QCoreApplication::processEvents();
    }
    // The line that is open after all that still works.
    board_->set_port_value(6, 0x600D);
    QTest::mouseClick(panel->form->Button23, Qt::LeftButton);
    QCOMPARE(panel->form->cmdw->line(panel->form->cmdw->line_count() - 1),
             QStringLiteral("Port[ 6]=0000600Dh  (decimal:     24589,  unsigned:      24589)"));
    QCoreApplication::processEvents();

    const long fds_after = open_descriptors();
    const long rss_after = resident_kb();
    qInfo("%d reopen cycles: open descriptors %ld before, %ld after", cycles, fds_before,
          fds_after);
    qInfo("resident memory: %ld kB before, %ld kB after", rss_before, rss_after);
    QCOMPARE(fds_after, fds_before);
}

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
