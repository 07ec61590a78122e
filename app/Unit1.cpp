#include "Unit1.h"

#include "ActivityLog.h"
#include "PortCompleter.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <type_traits>
#include <variant>

namespace {

constexpr auto kTitle = "QOR 2016/2017 - Atlys board control";
constexpr auto kWindowCaption = "Spartan 6 Atlys interface V2.0 - QOR 2016/2017";

// Client area and outer position of the window.
constexpr QSize kClientSize{509, 442};
constexpr QPoint kWindowPosition{239, 180};

// The port rows: row r has its top at 36 + 24 r; write columns for ports 0-7
// and 8-15, then the read column.
constexpr int kRowTop = 36;
constexpr int kRowPitch = 24;
constexpr int kRowsPerColumn = 8;
constexpr int kWriteButtonLeft[] = {8, 168};
constexpr int kWriteFieldLeft[] = {72, 232};
constexpr int kReadButtonLeft = 352;
constexpr int kReadFieldLeft = 416;
constexpr QSize kPortButtonSize{57, 25};
constexpr QSize kValueFieldSize{85, 24};
constexpr QSize kLastWriteFieldSize{85, 21}; // dataoutF, in the window font

const QColor kReadOk{0, 255, 0};
const QColor kReadFailed{255, 0, 0};

QFont make_font(const QStringList &families, QFont::StyleHint hint, int pixel_size)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixel_size);
    return font;
}

// "MS Sans Serif" where it exists; its metric look-alikes elsewhere.
QFont window_font()
{
    return make_font({"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, QFont::SansSerif, 11);
}

QFont mono_font(int pixel_size)
{
    return make_font({"Courier New", "Liberation Mono", "DejaVu Sans Mono"}, QFont::Monospace,
                     pixel_size);
}

enum class FontRole { window, value_field, log };

QFont font_for(FontRole role)
{
    switch (role) {
    case FontRole::value_field:
        return mono_font(13);
    case FontRole::log:
        return mono_font(12);
    case FontRole::window:
        break;
    }
    return window_font();
}

} // namespace

// One control of the window: the member it is stored in, its name, place,
// initial text, font and, for a button, its click handler.
struct TForm1::ControlSpec {
    using Member = std::variant<QPushButton * TForm1::*, QLineEdit * TForm1::*, QLabel * TForm1::*,
                                QCheckBox * TForm1::*, ActivityLog * TForm1::*>;

    const char *name;
    Member member;
    QRect geometry;
    QString text;
    FontRole font = FontRole::window;
    void (TForm1::*click)() = nullptr;
};

std::vector<TForm1::ControlSpec> TForm1::control_table()
{
    std::vector<ControlSpec> table = {
        {"Label1", &TForm1::Label1, {8, 12, 47, 13}, "Serial port"},
        {"serialport_txt", &TForm1::serialport_txt, {72, 8, 85, 21}, "COM1"},
        {"Button25",
         &TForm1::Button25,
         {180, 8, 101, 21},
         "Reopen serial port",
         FontRole::window,
         &TForm1::Button25Click},
        {"Button27",
         &TForm1::Button27,
         {288, 8, 105, 21},
         "Scan serial ports",
         FontRole::window,
         &TForm1::Button27Click},
        {"Button26",
         &TForm1::Button26,
         {400, 8, 101, 21},
         "Save configuration",
         FontRole::window,
         &TForm1::Button26Click},
    };

    struct PortRow {
        unsigned port;
        const char *button_name;
        QPushButton *TForm1::*button;
        void (TForm1::*click)();
        const char *field_name;
        QLineEdit *TForm1::*field;
    };
#define ATLYS_PORT_ROW(port, button, field)                                                        \
    PortRow                                                                                        \
    {                                                                                              \
        port, #button, &TForm1::button, &TForm1::button##Click, #field, &TForm1::field             \
    }

    static const PortRow write_rows[] = {
        ATLYS_PORT_ROW(0, Button1, dataout0),   ATLYS_PORT_ROW(1, Button3, dataout1),
        ATLYS_PORT_ROW(2, Button5, dataout2),   ATLYS_PORT_ROW(3, Button7, dataout3),
        ATLYS_PORT_ROW(4, Button9, dataout4),   ATLYS_PORT_ROW(5, Button10, dataout5),
        ATLYS_PORT_ROW(6, Button11, dataout6),  ATLYS_PORT_ROW(7, Button12, dataout7),
        ATLYS_PORT_ROW(8, Button13, dataout8),  ATLYS_PORT_ROW(9, Button14, dataout9),
        ATLYS_PORT_ROW(10, Button15, dataoutA), ATLYS_PORT_ROW(11, Button16, dataoutB),
        ATLYS_PORT_ROW(12, Button17, dataoutC), ATLYS_PORT_ROW(13, Button18, dataoutD),
        ATLYS_PORT_ROW(14, Button19, dataoutE), ATLYS_PORT_ROW(15, Button20, dataoutF),
    };
    static const PortRow read_rows[] = {
        ATLYS_PORT_ROW(0, Button2, datain0),  ATLYS_PORT_ROW(1, Button4, datain1),
        ATLYS_PORT_ROW(2, Button6, datain2),  ATLYS_PORT_ROW(3, Button8, datain3),
        ATLYS_PORT_ROW(4, Button21, datain4), ATLYS_PORT_ROW(5, Button22, datain5),
        ATLYS_PORT_ROW(6, Button23, datain6), ATLYS_PORT_ROW(7, Button24, datain7),
    };
#undef ATLYS_PORT_ROW

    for (const PortRow &row : write_rows) {
        const int column = static_cast<int>(row.port) / kRowsPerColumn;
        const int top = kRowTop + kRowPitch * (static_cast<int>(row.port) % kRowsPerColumn);
        const bool last = row.port == atlys::kPortCount - 1;
        table.push_back({row.button_name,
                         row.button,
                         {{kWriteButtonLeft[column], top}, kPortButtonSize},
                         QStringLiteral("Write P%1").arg(row.port),
                         FontRole::window,
                         row.click});
        table.push_back(
            {row.field_name,
             row.field,
             {{kWriteFieldLeft[column], top}, last ? kLastWriteFieldSize : kValueFieldSize},
             "0",
             last ? FontRole::window : FontRole::value_field});
    }
    for (const PortRow &row : read_rows) {
        const int top = kRowTop + kRowPitch * static_cast<int>(row.port);
        table.push_back({row.button_name,
                         row.button,
                         {{kReadButtonLeft, top}, kPortButtonSize},
                         QStringLiteral("Read P%1").arg(row.port),
                         FontRole::window,
                         row.click});
        table.push_back({row.field_name,
                         row.field,
                         {{kReadFieldLeft, top}, kValueFieldSize},
                         "0",
                         FontRole::value_field});
    }

    table.push_back({"hexdata", &TForm1::hexdata, {8, 232, 89, 17}, "Hexadecimal"});
    table.push_back({"timeout", &TForm1::timeout, {352, 232, 52, 13}, "read status"});
    table.push_back({"cmdw", &TForm1::cmdw, {4, 252, 497, 185}, QString(), FontRole::log});
    return table;
}

TForm1::TForm1(atlys::BoardLink &link, QWidget *parent) : QWidget(parent), link_(link)
{
    setWindowTitle(kWindowCaption);
    setFont(window_font());
    // The window background is the button face colour, as on the original panel.
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Button));
    setPalette(background);
    resize(kClientSize);
    move(kWindowPosition);

    build_controls();
    set_focus_order();

    // The start-up: everything it reports is in the log before the window shows.
    link_.attach_view(this);
    log_line(kTitle);
    link_.load_config();
    link_.connect_board();
}

TForm1::~TForm1()
{
    link_.attach_view(nullptr);
}

void TForm1::build_controls()
{
    for (const ControlSpec &control : control_table()) {
        std::visit(
            [this, &control](auto member) {
                using Widget =
                    std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
                auto *const widget = new Widget(this);
                this->*member = widget;
                widget->setObjectName(control.name);
                widget->setGeometry(control.geometry);
                if (control.font != FontRole::window)
                    widget->setFont(font_for(control.font));
                if constexpr (!std::is_same_v<Widget, ActivityLog>)
                    widget->setText(control.text);
                // Screen readers and UI automation find a control by its
                // caption, or an edit and the log by the control's name.
                if constexpr (std::is_same_v<Widget, QLineEdit> ||
                              std::is_same_v<Widget, ActivityLog>)
                    widget->setAccessibleName(QLatin1String(control.name));
                else
                    widget->setAccessibleName(control.text);
                if constexpr (std::is_same_v<Widget, QLabel>)
                    widget->adjustSize(); // labels size themselves to their caption
                if constexpr (std::is_same_v<Widget, QPushButton>) {
                    if (control.click)
                        connect(widget, &QPushButton::clicked, this, control.click);
                }
            },
            control.member);
    }

    // The indicator shows the window background until the first port read.
    timeout->setAutoFillBackground(false);

    // The tooltip tells what each COM name designates when it is about to show.
    serialport_txt->installEventFilter(this);

    // The port field offers the ports listed now as the operator types.
    new PortCompleter([this] { return link_.list_ports(); }, serialport_txt);
}

void TForm1::set_focus_order()
{
    static const char *const order[] = {
        "Button1",  "cmdw",           "dataout0", "Button2",  "datain0",  "dataout1", "Button4",
        "datain1",  "dataout2",       "Button6",  "datain2",  "dataout9", "Button8",  "datain3",
        "dataout8", "dataout7",       "dataout3", "dataout4", "dataout5", "dataout6", "Button3",
        "Button5",  "Button7",        "Button9",  "Button10", "Button11", "Button12", "Button13",
        "Button14", "dataoutF",       "dataoutE", "dataoutD", "dataoutA", "dataoutB", "dataoutC",
        "Button15", "Button16",       "Button17", "Button18", "Button19", "Button20", "Button21",
        "datain4",  "Button22",       "datain5",  "Button23", "datain6",  "Button24", "datain7",
        "hexdata",  "serialport_txt", "Button25", "Button26", "Button27",
    };
    QWidget *previous = nullptr;
    for (const char *name : order) {
        QWidget *const next = findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        Q_ASSERT(next);
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

void TForm1::log_line(const std::string &text)
{
    // One message is one line: a single line feed at its end is not shown as
    // an empty line of its own.
    QString line = QString::fromStdString(text);
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    cmdw->append_line(line);
}

void TForm1::set_read_status(bool ok)
{
    QPalette colours = timeout->palette();
    colours.setColor(QPalette::Window, ok ? kReadOk : kReadFailed);
    timeout->setPalette(colours);
    timeout->setAutoFillBackground(true);
    timeout->setText(ok ? QStringLiteral("data ok") : QStringLiteral("timeout"));
    timeout->setAccessibleName(timeout->text());
    timeout->adjustSize();
}

std::string TForm1::port_text() const
{
    return serialport_txt->text().toStdString();
}

void TForm1::set_port_text(const std::string &text)
{
    serialport_txt->setText(QString::fromStdString(text));
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == serialport_txt && event->type() == QEvent::ToolTip)
        serialport_txt->setToolTip(
            QString::fromStdString(atlys::describe_com_names(link_.list_ports())));
    return QWidget::eventFilter(watched, event);
}

// clang-format off
// Connection buttons.
void TForm1::Button25Click() { link_.reopen_serial_port(); }
void TForm1::Button27Click() { link_.scan_serial_ports(); }
void TForm1::Button26Click() { link_.save_config(); }

// Write buttons: each sends its field's number to its port.
void TForm1::Button1Click() { write_command(0, dataout0); }
void TForm1::Button3Click() { write_command(1, dataout1); }
void TForm1::Button5Click() { write_command(2, dataout2); }
void TForm1::Button7Click() { write_command(3, dataout3); }
void TForm1::Button9Click() { write_command(4, dataout4); }
void TForm1::Button10Click() { write_command(5, dataout5); }
void TForm1::Button11Click() { write_command(6, dataout6); }
void TForm1::Button12Click() { write_command(7, dataout7); }
void TForm1::Button13Click() { write_command(8, dataout8); }
void TForm1::Button14Click() { write_command(9, dataout9); }
void TForm1::Button15Click() { write_command(10, dataoutA); }
void TForm1::Button16Click() { write_command(11, dataoutB); }
void TForm1::Button17Click() { write_command(12, dataoutC); }
void TForm1::Button18Click() { write_command(13, dataoutD); }
void TForm1::Button19Click() { write_command(14, dataoutE); }
void TForm1::Button20Click() { write_command(15, dataoutF); }

// Read buttons: each fetches its port's value into its field.
void TForm1::Button2Click() { read_command(0, datain0); }
void TForm1::Button4Click() { read_command(1, datain1); }
void TForm1::Button6Click() { read_command(2, datain2); }
void TForm1::Button8Click() { read_command(3, datain3); }
void TForm1::Button21Click() { read_command(4, datain4); }
void TForm1::Button22Click() { read_command(5, datain5); }
void TForm1::Button23Click() { read_command(6, datain6); }
void TForm1::Button24Click() { read_command(7, datain7); }
// clang-format on

// The write command of one port: converts the field's text in the mode the
// "Hexadecimal" box shows now, logs the value and sends the write frame.
void TForm1::write_command(unsigned port, QLineEdit *field)
{
    link_.write_command(port, field->text().toStdString(), hexdata->isChecked());
}

// The read command of one port: reads the port, logs the value and, when the
// board answered, shows it in the field in the mode the box shows now.
void TForm1::read_command(unsigned port, QLineEdit *field)
{
    if (const auto text = link_.read_command(port, hexdata->isChecked()))
        field->setText(QString::fromStdString(*text));
}
