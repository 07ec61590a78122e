// The panel's entry: the application object, the main window and the event loop.
//
// The window's constructor runs the start-up (title line, config.dat, board
// connection), so the window first shows with those messages in its log.
// The program's own operations report through the log and never throw; an
// exception that escapes anyway is shown in a box and ends the program with
// exit code 1.

#include "Unit1.h"
#include "board_link.h"
#include "serial_line.h"
#include "system_ports.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace {

constexpr int kExitFailure = 1;

void show_exception(const QString &text)
{
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), text);
}

class PanelApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &error) {
            fail(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            fail(QString());
        }
        return true;
    }

    // True once an escaped exception has been shown.
    bool failed() const { return failed_; }

private:
    void fail(const QString &text)
    {
        if (failed_)
            return;  // one box, even if more handlers throw while it is up
        failed_ = true;
        show_exception(text);
        // Ends a running event loop with 1; before the loop runs, main checks failed().
        exit(kExitFailure);
    }

    bool failed_ = false;
};

} // namespace

int main(int argc, char *argv[])
{
    PanelApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("atlys-panel"));
    // Lets the desktop match the window to its menu entry and icon.
    app.setDesktopFileName(QStringLiteral("org.qor.atlys_panel"));
    try {
        atlys::BoardLink link(atlys::make_posix_serial_line(), atlys::system_port_lister());
        TForm1 form(link);
        if (app.failed())
            return kExitFailure;
        form.show();
        const int code = app.exec();
        return app.failed() ? kExitFailure : code;
    } catch (const std::exception &error) {
        show_exception(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        show_exception(QString());
    }
    return kExitFailure;
}
