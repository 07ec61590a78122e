// The main window against the board simulator: layout, focus order, the
// start-up messages, the connection buttons and the read-status indicator.
//
// Every test runs in a temporary directory made the current one, since
// config.dat is read from there, and gives the link an explicit port list,
// so COM1, COM2, ... only ever name the simulator's pseudo-terminals or
// devices that do not exist.

#include "ActivityLog.h"
#include "panel_fixture.h"

#include <QAccessible>

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using atlys::PortInfo;
using atlys::sim::BoardSim;
using atlys::sim::Fault;

namespace {

const QString kTitle = QStringLiteral("QOR 2016/2017 - Atlys board control");
const QString kNoConfig = QStringLiteral("Error: can't open file 'config.dat'");
const QString kBarebone =
    QStringLiteral("Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'");
const QColor kLime{0, 255, 0};
const QColor kRed{255, 0, 0};

QColor background(const QWidget *widget)
{
    return widget->palette().color(QPalette::Window);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window_frame();
    void controls_data();
    void controls();
    void accessible_names_data();
    void accessible_names();
    void fonts();
    void captions_fit();
    void log_settings();
    void log_is_editable_and_copyable();
    void focus_order();
    void log_line_data();
    void log_line();
    void log_keeps_every_line();

    void startup_without_config();
    void startup_with_board_data();
    void startup_with_board();
    void reopen_data();
    void reopen();
    void scan_finds_third_port();
    void save_configuration();
    void read_status_data();
    void read_status();
    void port_tooltip_is_current();

private:
    std::unique_ptr<WorkingFolder> dir_;
};

void TestWindow::init()
{
    dir_ = std::make_unique<WorkingFolder>();
    QVERIFY(dir_->ok());
}

void TestWindow::cleanup()
{
    dir_.reset();
}

// ---- Layout ------------------------------------------------------------------------

void TestWindow::window_frame()
{
    const Panel panel({});
    const TForm1 &form = *panel.form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Spartan 6 Atlys interface V2.0 - QOR 2016/2017"));
    QCOMPARE(form.size(), QSize(509, 442));
    QCOMPARE(form.pos(), QPoint(239, 180));
    QVERIFY(form.layout() == nullptr); // absolute places: nothing moves on a resize
    QCOMPARE(background(&form), form.palette().color(QPalette::Button));
}

void TestWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    const auto row = [](const QString &name, const char *kind, QRect geometry,
                        const QString &text) {
        QTest::newRow(qPrintable(name)) << name << QString::fromLatin1(kind) << geometry << text;
    };

    row("Label1", "QLabel", {8, 12, 47, 13}, "Serial port");
    row("serialport_txt", "QLineEdit", {72, 8, 85, 21}, "COM1");
    row("Button25", "QPushButton", {180, 8, 101, 21}, "Reopen serial port");
    row("Button27", "QPushButton", {288, 8, 105, 21}, "Scan serial ports");
    row("Button26", "QPushButton", {400, 8, 101, 21}, "Save configuration");
    row("hexdata", "QCheckBox", {8, 232, 89, 17}, "Hexadecimal");
    row("timeout", "QLabel", {352, 232, 52, 13}, "read status");

    static const char *const write_buttons[] = {
        "Button1",  "Button3",  "Button5",  "Button7",  "Button9",  "Button10",
        "Button11", "Button12", "Button13", "Button14", "Button15", "Button16",
        "Button17", "Button18", "Button19", "Button20",
    };
    static const char *const read_buttons[] = {
        "Button2", "Button4", "Button6", "Button8", "Button21", "Button22", "Button23", "Button24",
    };
    for (int port = 0; port < 16; ++port) {
        const int top = 36 + 24 * (port % 8);
        const int button_left = port < 8 ? 8 : 168;
        const int field_left = port < 8 ? 72 : 232;
        const QString field = QStringLiteral("dataout") + QString::number(port, 16).toUpper();
        row(write_buttons[port], "QPushButton", {button_left, top, 57, 25},
            QStringLiteral("Write P%1").arg(port));
        row(field, "QLineEdit", {field_left, top, 85, port == 15 ? 21 : 24}, "0");
    }
    for (int port = 0; port < 8; ++port) {
        const int top = 36 + 24 * port;
        row(read_buttons[port], "QPushButton", {352, top, 57, 25},
            QStringLiteral("Read P%1").arg(port));
        row(QStringLiteral("datain%1").arg(port), "QLineEdit", {416, top, 85, 24}, "0");
    }
    row("cmdw", "ActivityLog", {4, 252, 497, 185}, QString());
}

void TestWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    const Panel panel({});
    const auto found = panel.form->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    const QWidget *const widget = found.front();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->parentWidget(), panel.form.get());

    if (kind == QLatin1String("QLabel")) {
        // Labels size themselves to their caption in the font at hand.
        QCOMPARE(widget->pos(), geometry.topLeft());
        QCOMPARE(widget->size(), widget->sizeHint());
    } else {
        QCOMPARE(widget->geometry(), geometry);
    }
    if (kind != QLatin1String("ActivityLog"))
        QCOMPARE(widget->property("text").toString(), text);
}

// Screen readers and UI automation find each control by its caption, or an
// edit and the log by the control's name.
void TestWindow::accessible_names_data()
{
    controls_data();
}

void TestWindow::accessible_names()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);

    const Panel panel({});
    QWidget *const widget = panel.form->findChild<QWidget *>(name);
    QVERIFY(widget);
    const bool named_by_field =
        kind == QLatin1String("QLineEdit") || kind == QLatin1String("ActivityLog");
    const QString expected = named_by_field ? name : text;
    QVERIFY(!expected.isEmpty());
    QCOMPARE(widget->accessibleName(), expected);
    QAccessibleInterface *const accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), expected);
}

void TestWindow::fonts()
{
    const Panel panel({});
    const TForm1 &form = *panel.form;

    const QFontInfo window(form.font());
    QVERIFY2(
        QStringList({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}).contains(window.family()),
        qPrintable(window.family()));
    QCOMPARE(window.pixelSize(), 11);

    const QStringList mono{"Courier New", "Liberation Mono", "DejaVu Sans Mono"};
    for (const QLineEdit *field : form.findChildren<QLineEdit *>()) {
        const QFontInfo info(field->font());
        if (field == form.dataoutF || field == form.serialport_txt) {
            QCOMPARE(info.family(), window.family());
            QCOMPARE(info.pixelSize(), 11);
        } else {
            QVERIFY2(mono.contains(info.family()), qPrintable(field->objectName()));
            QVERIFY(info.fixedPitch());
            QCOMPARE(info.pixelSize(), 13);
        }
    }
    const QFontInfo log(form.cmdw->font());
    QVERIFY2(mono.contains(log.family()), qPrintable(log.family()));
    QCOMPARE(log.pixelSize(), 12);
}

// Every caption is drawn whole inside its control with the fonts installed here.
void TestWindow::captions_fit()
{
    const Panel panel({});
    for (const QPushButton *button : panel.form->findChildren<QPushButton *>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        QVERIFY2(text.width() <= contents.width() && text.height() <= contents.height(),
                 qPrintable(QStringLiteral("%1: text %2x%3 in %4x%5")
                                .arg(button->objectName())
                                .arg(text.width())
                                .arg(text.height())
                                .arg(contents.width())
                                .arg(contents.height())));
    }
    const QCheckBox *const box = panel.form->hexdata;
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    QVERIFY(box->fontMetrics().horizontalAdvance(box->text()) <= contents.width());
    for (const QLabel *label : panel.form->findChildren<QLabel *>())
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
}

void TestWindow::log_settings()
{
    const Panel panel({});
    const ActivityLog *const log = panel.form->cmdw;
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // No word wrap and no horizontal bar: a line is one row however long.
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (const QLineEdit *field : panel.form->findChildren<QLineEdit *>())
        QVERIFY(!field->isReadOnly());
}

void TestWindow::log_is_editable_and_copyable()
{
    Panel panel({});
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.form.get()));
    ActivityLog *const log = panel.form->cmdw;
    QCOMPARE(log->line_count(), 3);

    // Double-click the second line, type over it, Enter: the line holds the new text.
    const int row_y = 3 + log->fontMetrics().lineSpacing() + 2;
    QTest::mouseDClick(log->viewport(), Qt::LeftButton, {}, QPoint(20, row_y));
    QVERIFY(log->editing());
    auto *const editor = log->findChild<QLineEdit *>(QStringLiteral("cmdw_line_editor"));
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->text(), kNoConfig);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("note: board unplugged"));
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(!log->editing());
    QCOMPARE(panel.log().at(1), QStringLiteral("note: board unplugged"));

    // Lines after it come in as usual, and the edit changes nothing else.
    panel.form->log_line("next");
    QCOMPARE(panel.log(),
             QStringList({kTitle, "note: board unplugged", "Can't open serial port COM1", "next"}));

    // Shift+Up from the last line selects two lines; Ctrl+C copies them.
    log->setFocus();
    QTest::keyClick(log, Qt::Key_End);
    QTest::keyClick(log, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(log->selected_text(), QStringLiteral("Can't open serial port COM1\nnext\n"));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Can't open serial port COM1\nnext\n"));
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(log->selection_start(), 0);
    QCOMPARE(log->selection_end(), 3);

    // A line wider than the view shows whole in its tooltip; a short one has none.
    const QString long_line =
        "Using serial port /dev/serial/by-id/" + QString(80, 'x') + " (baudrate: 115200 bps)";
    panel.form->log_line(long_line.toStdString());
    QVERIFY(log->line_count() < log->visible_line_count()); // no scrolling: row = line
    const int height = log->fontMetrics().lineSpacing();
    const int last_row = log->line_count() - 1;
    QCOMPARE(log->clipped_line_at(QPoint(10, 3 + last_row * height + height / 2)), long_line);
    QCOMPARE(log->clipped_line_at(QPoint(10, 3 + height / 2)), QString());
}

void TestWindow::focus_order()
{
    static const char *const expected[] = {
        "Button1",  "cmdw",           "dataout0", "Button2",  "datain0",  "dataout1", "Button4",
        "datain1",  "dataout2",       "Button6",  "datain2",  "dataout9", "Button8",  "datain3",
        "dataout8", "dataout7",       "dataout3", "dataout4", "dataout5", "dataout6", "Button3",
        "Button5",  "Button7",        "Button9",  "Button10", "Button11", "Button12", "Button13",
        "Button14", "dataoutF",       "dataoutE", "dataoutD", "dataoutA", "dataoutB", "dataoutC",
        "Button15", "Button16",       "Button17", "Button18", "Button19", "Button20", "Button21",
        "datain4",  "Button22",       "datain5",  "Button23", "datain6",  "Button24", "datain7",
        "hexdata",  "serialport_txt", "Button25", "Button26", "Button27",
        "Button1", // and round again
    };
    Panel panel({});
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    panel.form->Button1->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), panel.form->Button1);

    for (std::size_t k = 1; k < std::size(expected); ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(expected[k]));
    }
}

// ---- Activity log ------------------------------------------------------------------

void TestWindow::log_line_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("plain") << QByteArray("Trying COM3...") << QStringList{"Trying COM3..."};
    QTest::newRow("one trailing line feed") << QByteArray("Error: x\n") << QStringList{"Error: x"};
    QTest::newRow("only the last line feed goes") << QByteArray("a\n\n") << QStringList{"a", ""};
    QTest::newRow("empty") << QByteArray("") << QStringList{""};
    QTest::newRow("a line feed alone") << QByteArray("\n") << QStringList{""};
    QTest::newRow("leading spaces kept")
        << QByteArray("Port[ 3]=  -2") << QStringList{"Port[ 3]=  -2"};
    QTest::newRow("UTF-8") << QByteArray("Using serial port Gr\xc3\xbc\xc3\x9f")
                           << QStringList{QString::fromUtf8("Using serial port Grüß")};
}

void TestWindow::log_line()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, shown);

    Panel panel({});
    const QStringList before = panel.log();
    panel.form->log_line(text.toStdString());
    panel.form->log_line("next");
    QCOMPARE(panel.log(), before + shown + QStringList{"next"});
}

void TestWindow::log_keeps_every_line()
{
    Panel panel({});
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.form.get()));
    constexpr int kLines = 20000;
    for (int k = 0; k < kLines; ++k)
        panel.form->log_line("line " + std::to_string(k) + (k % 2 ? "\n" : ""));

    const QStringList log = panel.log();
    QCOMPARE(log.size(), 3 + kLines); // after the three start-up lines
    for (int k = 0; k < kLines; ++k)
        QCOMPARE(log.at(3 + k), QStringLiteral("line %1").arg(k));
    const QScrollBar *const bar = panel.form->cmdw->verticalScrollBar();
    QTRY_COMPARE(bar->maximum(), kLines + 3 - panel.form->cmdw->visible_line_count());
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(panel.form->cmdw->first_visible_line() + panel.form->cmdw->visible_line_count(),
             kLines + 3);
}

// ---- Start-up ----------------------------------------------------------------------

void TestWindow::startup_without_config()
{
    const Panel panel({});
    QCOMPARE(panel.log(),
             QStringList({kTitle, kNoConfig, QStringLiteral("Can't open serial port COM1")}));
    QCOMPARE(panel.form->serialport_txt->text(), QStringLiteral("COM1"));
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("read status"));
    QVERIFY(!panel.form->timeout->autoFillBackground());
    QVERIFY(!panel.link->is_open());
}

void TestWindow::startup_with_board_data()
{
    QTest::addColumn<bool>("by_path");
    QTest::addColumn<QByteArray>("speed");
    QTest::addColumn<QString>("shown_speed");

    QTest::newRow("COM1") << false << QByteArray("  115200\r\n") << "115200";
    QTest::newRow("COM1 at another speed") << false << QByteArray("  57600\r\n") << "57600";
    QTest::newRow("COM1 without a speed") << false << QByteArray("\r\n") << "115200";
    QTest::newRow("device path, LF only") << true << QByteArray("  115200\n") << "115200";
}

void TestWindow::startup_with_board()
{
    QFETCH(bool, by_path);
    QFETCH(QByteArray, speed);
    QFETCH(QString, shown_speed);

    BoardSim sim;
    QVERIFY(sim.start());
    const QString name =
        by_path ? QString::fromStdString(sim.slave_path()) : QStringLiteral("COM1");
    write_config(name.toUtf8() + speed);

    const Panel panel({sim_port("ttyUSB0", sim)});
    QCOMPARE(
        panel.log(),
        QStringList(
            {kTitle, kBarebone,
             QStringLiteral("Using serial port %1 (baudrate: %2 bps)").arg(name, shown_speed)}));
    QCOMPARE(panel.form->serialport_txt->text(), name);
    QVERIFY(panel.link->is_open());
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("data ok"));
    QVERIFY(panel.form->timeout->autoFillBackground());
    QCOMPARE(background(panel.form->timeout), kLime);
    QCOMPARE(panel.form->timeout->size(), panel.form->timeout->sizeHint());
}

// ---- Connection buttons ------------------------------------------------------------

void TestWindow::reopen_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("logged");

    QTest::newRow("board on COM2")
        << "COM2" << QStringList{kBarebone, "Using serial port COM2 (baudrate: 115200 bps)"};
    QTest::newRow("COM name past the list") << "COM3" << QStringList{"Can't open serial port COM3"};
    QTest::newRow("empty field") << "" << QStringList{"Can't open serial port "};
}

void TestWindow::reopen()
{
    QFETCH(QString, field);
    QFETCH(QStringList, logged);

    BoardSim sim;
    QVERIFY(sim.start());
    Panel panel({missing_port("ttyUSB0"), sim_port("ttyUSB1", sim)});
    const QStringList before = panel.log();
    QCOMPARE(before.size(), 3); // title, no config.dat, COM1 does not open

    panel.form->serialport_txt->setText(field);
    QTest::mouseClick(panel.form->Button25, Qt::LeftButton);
    QCOMPARE(panel.log(), before + logged);
    QCOMPARE(panel.link->is_open(), logged.size() == 2);
    QCOMPARE(panel.form->serialport_txt->text(), field);
}

void TestWindow::scan_finds_third_port()
{
    BoardSim silent; // opens, but port 15 never answers
    BoardSim board;
    QVERIFY(silent.start());
    QVERIFY(board.start());
    silent.set_behaviour(15, {Fault::silent, {}});

    Panel panel({missing_port("ttyUSB0"), sim_port("ttyUSB1", silent), sim_port("ttyUSB2", board)});
    const QStringList before = panel.log();

    QTest::mouseClick(panel.form->Button27, Qt::LeftButton);
    QCOMPARE(panel.log(),
             before + QStringList({"Trying COM1...", "Trying COM2...", "Invalid HW id",
                                   "Trying COM3...", kBarebone, "Using serial port COM3"}));
    QCOMPARE(panel.form->serialport_txt->text(), QStringLiteral("COM3"));
    QVERIFY(panel.link->is_open());
    QCOMPARE(panel.form->timeout->text(), QStringLiteral("data ok"));
}

void TestWindow::save_configuration()
{
    {
        Panel panel({});
        QVERIFY(!QFile::exists(QStringLiteral("config.dat")));
        panel.form->serialport_txt->setText(QStringLiteral("COM7"));
        QTest::mouseClick(panel.form->Button26, Qt::LeftButton);

        QFile file(QStringLiteral("config.dat"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("COM7  115200\r\n"));
        QCOMPARE(panel.log().size(), 3); // saving logs nothing
    }
    // The next start reads the saved name back.
    const Panel next({});
    QCOMPARE(next.form->serialport_txt->text(), QStringLiteral("COM7"));
    QCOMPARE(next.log(), QStringList({kTitle, QStringLiteral("Can't open serial port COM7")}));
}

// ---- Read-status indicator ---------------------------------------------------------

void TestWindow::read_status_data()
{
    QTest::addColumn<quint32>("config_id");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QColor>("colour");

    // An unknown id was still read in full: the read itself is fine.
    QTest::newRow("unknown id") << quint32(0x12345678) << int(Fault::none) << "data ok" << kLime;
    QTest::newRow("silent board") << quint32(atlys::kBareboneId) << int(Fault::silent) << "timeout"
                                  << kRed;
    QTest::newRow("three bytes only")
        << quint32(atlys::kBareboneId) << int(Fault::short_reply) << "timeout" << kRed;
}

void TestWindow::read_status()
{
    QFETCH(quint32, config_id);
    QFETCH(int, fault);
    QFETCH(QString, caption);
    QFETCH(QColor, colour);

    BoardSim sim(config_id);
    QVERIFY(sim.start());
    sim.set_behaviour(15, {static_cast<Fault>(fault), {}});

    Panel panel({sim_port("ttyUSB0", sim)});
    QCOMPARE(panel.log().mid(2), QStringList{"Invalid HW id, closing serial port"});
    QLabel *const indicator = panel.form->timeout;
    QCOMPARE(indicator->text(), caption);
    QCOMPARE(QAccessible::queryAccessibleInterface(indicator)->text(QAccessible::Name), caption);
    QVERIFY(indicator->autoFillBackground());
    QCOMPARE(background(indicator), colour);
    QCOMPARE(indicator->size(), indicator->sizeHint());

    // The board answers again: the next read turns the indicator lime.
    sim.set_config_id(atlys::kBareboneId);
    sim.clear_faults();
    QTest::mouseClick(panel.form->Button25, Qt::LeftButton);
    QCOMPARE(indicator->text(), QStringLiteral("data ok"));
    QCOMPARE(indicator->accessibleName(), QStringLiteral("data ok"));
    QCOMPARE(background(indicator), kLime);
    QCOMPARE(indicator->size(), indicator->sizeHint());
}

// ---- Port field tooltip ------------------------------------------------------------

void TestWindow::port_tooltip_is_current()
{
    BoardSim sim;
    QVERIFY(sim.start());
    Panel panel({sim_port("ttyUSB0", sim)});
    QLineEdit *const field = panel.form->serialport_txt;
    const auto ask_tooltip = [field] {
        QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), field->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(field, &event);
        return field->toolTip();
    };
    const QString board = QString::fromStdString(sim.slave_path());

    QCOMPARE(ask_tooltip(), "COM1 = " + board);

    // A port plugged in after start-up shows at the next look, and moves
    // the board to COM2.
    panel.ports.insert(panel.ports.begin(), PortInfo{"ttyACM0", "/nonexistent/atlys-test/ttyACM0",
                                                     "Atlys", "Digilent", "D1"});
    QCOMPARE(ask_tooltip(),
             "COM1 = /nonexistent/atlys-test/ttyACM0 (Atlys, Digilent, D1)\nCOM2 = " + board);

    // Pulled out again: the board is COM1 once more.
    panel.ports.erase(panel.ports.begin());
    QCOMPARE(ask_tooltip(), "COM1 = " + board);

    // Nothing listed: the tooltip says so and points to device paths.
    panel.ports.clear();
    const QString none = ask_tooltip();
    QVERIFY2(none.startsWith(QStringLiteral("No serial port is listed")), qPrintable(none));
    QVERIFY(none.contains(QStringLiteral("/dev/ttyUSB0")));
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
