#pragma once
// The panel's main window, TForm1.
//
// The window owns every control for the whole run and holds no serial code:
// its buttons call the BoardLink, and the link reports back through the
// LinkView interface this class implements (the activity log `cmdw`, the
// read-status indicator `timeout` and the port field `serialport_txt`).
//
// The controls are built from one table (control_table()): name, kind,
// geometry, initial text, font and click handler. Positions are absolute, so
// every control keeps its place when the window is resized.
//
// The port field stays a plain text edit; a PortCompleter offers the ports
// the link lists, and its tooltip tells what each COM name designates, both
// looked up when they are about to show.
//
// The constructor runs the start-up: it builds the controls, attaches itself
// to the link, logs the title line, loads config.dat and connects to the
// board, all before the window is first shown.

#include "board_link.h"
#include "link_view.h"

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class ActivityLog;
class QPushButton;

class TForm1 final : public QWidget, public atlys::LinkView {
    Q_OBJECT

public:
    explicit TForm1(atlys::BoardLink &link, QWidget *parent = nullptr);
    ~TForm1() override;

    // LinkView
    void log_line(const std::string &text) override;
    void set_read_status(bool ok) override;
    std::string port_text() const override;
    void set_port_text(const std::string &text) override;

    // The controls, named as on the panel.
    QLabel *Label1 = nullptr;
    QLineEdit *serialport_txt = nullptr;
    QPushButton *Button25 = nullptr; // "Reopen serial port"
    QPushButton *Button27 = nullptr; // "Scan serial ports"
    QPushButton *Button26 = nullptr; // "Save configuration"

    // Write rows: ports 0-15.
    QPushButton *Button1 = nullptr, *Button3 = nullptr, *Button5 = nullptr, *Button7 = nullptr;
    QPushButton *Button9 = nullptr, *Button10 = nullptr, *Button11 = nullptr, *Button12 = nullptr;
    QPushButton *Button13 = nullptr, *Button14 = nullptr, *Button15 = nullptr, *Button16 = nullptr;
    QPushButton *Button17 = nullptr, *Button18 = nullptr, *Button19 = nullptr, *Button20 = nullptr;
    QLineEdit *dataout0 = nullptr, *dataout1 = nullptr, *dataout2 = nullptr, *dataout3 = nullptr;
    QLineEdit *dataout4 = nullptr, *dataout5 = nullptr, *dataout6 = nullptr, *dataout7 = nullptr;
    QLineEdit *dataout8 = nullptr, *dataout9 = nullptr, *dataoutA = nullptr, *dataoutB = nullptr;
    QLineEdit *dataoutC = nullptr, *dataoutD = nullptr, *dataoutE = nullptr, *dataoutF = nullptr;

    // Read rows: ports 0-7.
    QPushButton *Button2 = nullptr, *Button4 = nullptr, *Button6 = nullptr, *Button8 = nullptr;
    QPushButton *Button21 = nullptr, *Button22 = nullptr, *Button23 = nullptr, *Button24 = nullptr;
    QLineEdit *datain0 = nullptr, *datain1 = nullptr, *datain2 = nullptr, *datain3 = nullptr;
    QLineEdit *datain4 = nullptr, *datain5 = nullptr, *datain6 = nullptr, *datain7 = nullptr;

    QCheckBox *hexdata = nullptr;
    QLabel *timeout = nullptr;   // read-status indicator
    ActivityLog *cmdw = nullptr; // activity log

public slots:
    // Connection buttons.
    void Button25Click();
    void Button27Click();
    void Button26Click();

    // Write buttons, ports 0-15.
    void Button1Click();
    void Button3Click();
    void Button5Click();
    void Button7Click();
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Button13Click();
    void Button14Click();
    void Button15Click();
    void Button16Click();
    void Button17Click();
    void Button18Click();
    void Button19Click();
    void Button20Click();

    // Read buttons, ports 0-7.
    void Button2Click();
    void Button4Click();
    void Button6Click();
    void Button8Click();
    void Button21Click();
    void Button22Click();
    void Button23Click();
    void Button24Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct ControlSpec;
    static std::vector<ControlSpec> control_table();
    void build_controls();
    void set_focus_order();

    // The port commands shared by every write and read button.
    void write_command(unsigned port, QLineEdit *field);
    void read_command(unsigned port, QLineEdit *field);

    atlys::BoardLink &link_;
};
