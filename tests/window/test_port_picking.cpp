// Port picking on the port field: the completer's entries come from the
// link's port list (injected here, never the system's), follow ports that
// come and go, put just the chosen name into the field, and leave the field
// a plain text edit.
//
// Every device path lies under /nonexistent, and config.dat names a path
// that does not exist, so nothing here opens a real serial device.

#include "PortCompleter.h"
#include "panel_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using atlys::PortInfo;
using PortList = std::vector<PortInfo>;
Q_DECLARE_METATYPE(PortList)

namespace {

const std::string kFake = "/nonexistent/atlys-test/";

PortInfo fake_port(const std::string &name, const std::string &description = {},
                   const std::string &manufacturer = {}, const std::string &serial = {})
{
    return {name, kFake + name, description, manufacturer, serial};
}

QString fake(const char *name)
{
    return QString::fromStdString(kFake) + QLatin1String(name);
}

// An FTDI adapter and a built-in port the system describes with nothing.
PortList bench_ports()
{
    return {fake_port("ttyS0"), fake_port("ttyUSB0", "FT232R USB UART", "FTDI", "A10K")};
}

} // namespace

class TestPortPicking : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void entries_data();
    void entries();
    void typing_offers_data();
    void typing_offers();
    void entries_follow_ports();
    void showing_the_window_lists_nothing();
    void popup_shows_whole_lines();

private:
    // A shown window whose port field has the focus.
    std::unique_ptr<Panel> focused_panel(PortList ports);
    // The lines the popup shows now, and the names they stand for.
    QStringList shown_labels() const;
    QStringList shown_names() const;

    std::unique_ptr<WorkingFolder> dir_;
    QLineEdit *field_ = nullptr;
    QCompleter *completer_ = nullptr;
};

void TestPortPicking::init()
{
    dir_ = std::make_unique<WorkingFolder>();
    QVERIFY(dir_->ok());
    write_config(QByteArray::fromStdString(kFake) + "no-board  115200\r\n");
}

void TestPortPicking::cleanup()
{
    dir_.reset();
    field_ = nullptr;
    completer_ = nullptr;
}

std::unique_ptr<Panel> TestPortPicking::focused_panel(PortList ports)
{
    auto panel = std::make_unique<Panel>(std::move(ports));
    panel->form->show();
    if (!QTest::qWaitForWindowActive(panel->form.get()))
        return nullptr;
    field_ = panel->form->serialport_txt;
    completer_ = field_->completer();
    field_->setFocus(Qt::OtherFocusReason);
    if (!QTest::qWaitFor([this] { return field_->hasFocus(); }))
        return nullptr;
    return panel;
}

QStringList TestPortPicking::shown_labels() const
{
    QStringList labels;
    if (!completer_->popup()->isVisible())
        return labels;
    const QAbstractItemModel *const shown = completer_->completionModel();
    for (int row = 0; row < shown->rowCount(); ++row)
        labels << shown->index(row, 0).data(Qt::DisplayRole).toString();
    return labels;
}

QStringList TestPortPicking::shown_names() const
{
    QStringList names;
    if (!completer_->popup()->isVisible())
        return names;
    const QAbstractItemModel *const shown = completer_->completionModel();
    for (int row = 0; row < shown->rowCount(); ++row)
        names << completer_->pathFromIndex(shown->index(row, 0));
    return names;
}

// Down on the field opens every entry: each COM name in panel order, then
// each device path, each with what the system says about the port.
void TestPortPicking::entries_data()
{
    QTest::addColumn<PortList>("ports");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("no port listed") << PortList{} << QStringList{} << QStringList{};

    QTest::newRow("adapter with every detail")
        << PortList{fake_port("ttyUSB0", "FT232R USB UART", "FTDI", "A10K")}
        << QStringList{"COM1", fake("ttyUSB0")}
        << QStringList{"COM1 = " + fake("ttyUSB0") + " (FT232R USB UART, FTDI, A10K)",
                       fake("ttyUSB0") + " (FT232R USB UART, FTDI, A10K)"};

    QTest::newRow("missing details are left out")
        << PortList{fake_port("ttyACM0", "", "Digilent", ""), fake_port("ttyACM1", "", "", "D1")}
        << QStringList{"COM1", "COM2", fake("ttyACM0"), fake("ttyACM1")}
        << QStringList{"COM1 = " + fake("ttyACM0") + " (Digilent)",
                       "COM2 = " + fake("ttyACM1") + " (D1)", fake("ttyACM0") + " (Digilent)",
                       fake("ttyACM1") + " (D1)"};

    // Listed in any order, offered in panel order: plugged-in ports first,
    // digit runs compared as numbers.
    QTest::newRow("panel order") << PortList{fake_port("ttyS0"), fake_port("ttyUSB10"),
                                             fake_port("ttyUSB2"), fake_port("ttyACM0", "Atlys")}
                                 << QStringList{"COM1",           "COM2",          "COM3",
                                                "COM4",           fake("ttyACM0"), fake("ttyUSB2"),
                                                fake("ttyUSB10"), fake("ttyS0")}
                                 << QStringList{"COM1 = " + fake("ttyACM0") + " (Atlys)",
                                                "COM2 = " + fake("ttyUSB2"),
                                                "COM3 = " + fake("ttyUSB10"),
                                                "COM4 = " + fake("ttyS0"),
                                                fake("ttyACM0") + " (Atlys)",
                                                fake("ttyUSB2"),
                                                fake("ttyUSB10"),
                                                fake("ttyS0")};
}

void TestPortPicking::entries()
{
    QFETCH(PortList, ports);
    QFETCH(QStringList, names);
    QFETCH(QStringList, labels);

    const auto panel = focused_panel(ports);
    QVERIFY(panel);
    QCOMPARE(field_->text(), QString::fromStdString(kFake + "no-board"));

    QTest::keyClick(field_, Qt::Key_Down);
    QCOMPARE(completer_->popup()->isVisible(), !names.isEmpty());
    QCOMPARE(shown_names(), names);
    QCOMPARE(shown_labels(), labels);
    QCOMPARE(field_->text(), QString::fromStdString(kFake + "no-board")); // only offered
}

// Typed text narrows the entries to those whose line holds it, ignoring
// case; choosing one puts only its name into the field. Text that matches
// nothing, or that the operator keeps, stays exactly as typed.
void TestPortPicking::typing_offers_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<int>("downs"); // Down presses before Return; 0 keeps the typed text
    QTest::addColumn<QString>("field");

    QTest::newRow("COM names") << "com" << QStringList{"COM1", "COM2"} << 2 << "COM2";
    QTest::newRow("first COM name") << "COM" << QStringList{"COM1", "COM2"} << 1 << "COM1";
    QTest::newRow("by manufacturer")
        << "ftdi" << QStringList{"COM1", fake("ttyUSB0")} << 2 << fake("ttyUSB0");
    QTest::newRow("by serial number")
        << "a10k" << QStringList{"COM1", fake("ttyUSB0")} << 1 << "COM1";
    QTest::newRow("by device name")
        << "ttyS" << QStringList{"COM2", fake("ttyS0")} << 2 << fake("ttyS0");
    QTest::newRow("offered but kept as typed")
        << "COM" << QStringList{"COM1", "COM2"} << 0 << "COM";
    QTest::newRow("matches nothing")
        << "/tmp/atlys-board" << QStringList{} << 0 << "/tmp/atlys-board";
    QTest::newRow("a COM name past the list") << "COM7" << QStringList{} << 0 << "COM7";
}

void TestPortPicking::typing_offers()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, offered);
    QFETCH(int, downs);
    QFETCH(QString, field);

    const auto panel = focused_panel(bench_ports());
    QVERIFY(panel);
    field_->clear();
    QTest::keyClicks(field_, typed);
    QCOMPARE(field_->text(), typed);
    QCOMPARE(shown_names(), offered);

    for (int k = 0; k < downs; ++k)
        QTest::keyClick(completer_->popup(), Qt::Key_Down);
    if (downs == 0 && completer_->popup()->isVisible())
        QTest::keyClick(completer_->popup(), Qt::Key_Escape);
    else
        QTest::keyClick(downs ? static_cast<QWidget *>(completer_->popup()) : field_,
                        Qt::Key_Return);
    QVERIFY(!completer_->popup()->isVisible());
    QCOMPARE(field_->text(), field);
    QCOMPARE(field_->selectedText(), QString());
}

// The ports are looked up again each time the popup may open: a port pulled
// out is gone and one plugged in is there, under the COM name it has now.
void TestPortPicking::entries_follow_ports()
{
    auto panel = focused_panel({fake_port("ttyUSB0", "FT232R USB UART")});
    QVERIFY(panel);
    field_->clear();

    QTest::keyClicks(field_, QStringLiteral("COM"));
    QCOMPARE(shown_labels(), QStringList{"COM1 = " + fake("ttyUSB0") + " (FT232R USB UART)"});
    QTest::keyClick(completer_->popup(), Qt::Key_Escape);

    // Plugged in while the field has the focus: the next key finds it.
    panel->ports.push_back(fake_port("ttyACM0", "Atlys"));
    QTest::keyClick(field_, Qt::Key_Backspace);
    QCOMPARE(shown_labels(), (QStringList{"COM1 = " + fake("ttyACM0") + " (Atlys)",
                                          "COM2 = " + fake("ttyUSB0") + " (FT232R USB UART)"}));
    QTest::keyClick(completer_->popup(), Qt::Key_Escape);

    // Pulled out while the focus was elsewhere: gone when the field is back.
    panel->form->Button25->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(!field_->hasFocus());
    panel->ports.erase(panel->ports.begin()); // ttyUSB0
    field_->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(field_->hasFocus());
    QCOMPARE(completer_->model()->rowCount(), 2); // looked up on taking the focus
    QTest::keyClick(field_, Qt::Key_Down);
    QCOMPARE(shown_names(), (QStringList{"COM1", fake("ttyACM0")}));
    QTest::keyClick(completer_->popup(), Qt::Key_Escape);

    // All gone: nothing is offered and typing goes on as before.
    panel->ports.clear();
    QTest::keyClick(field_, Qt::Key_Down);
    QVERIFY(!completer_->popup()->isVisible());
    QTest::keyClicks(field_, QStringLiteral("1"));
    QCOMPARE(field_->text(), QStringLiteral("CO1"));
}

// With config.dat naming a device path, start-up and showing the window
// list no ports, even with the focus in the port field: the system's list
// is looked up only when the operator works with the field.
void TestPortPicking::showing_the_window_lists_nothing()
{
    Panel panel(bench_ports());
    panel.form->serialport_txt->setFocus(); // the field gets the focus as the window activates
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    QTRY_VERIFY(panel.form->serialport_txt->hasFocus());
    QCOMPARE(panel.lookups, 0);

    QTest::keyClick(panel.form->serialport_txt, Qt::Key_Down);
    QCOMPARE(panel.lookups, 1);
    QVERIFY(panel.form->serialport_txt->completer()->popup()->isVisible());
}

// The popup is wider than the field, so every line shows whole.
void TestPortPicking::popup_shows_whole_lines()
{
    const auto panel = focused_panel(
        {fake_port("ttyUSB0", "Digilent Adept USB Device", "Digilent", "210248A3B1C2")});
    QVERIFY(panel);
    QTest::keyClick(field_, Qt::Key_Down);
    QAbstractItemView *const list = completer_->popup();
    QVERIFY(list->isVisible());
    QVERIFY(list->width() > field_->width());
    const QAbstractItemModel *const shown = completer_->completionModel();
    QCOMPARE(shown->rowCount(), 2);
    for (int row = 0; row < shown->rowCount(); ++row) {
        const QModelIndex index = shown->index(row, 0);
        const QString text = index.data().toString();
        QVERIFY2(list->fontMetrics().horizontalAdvance(text) < list->visualRect(index).width(),
                 qPrintable(text));
    }
}

QTEST_MAIN(TestPortPicking)
#include "test_port_picking.moc"
