// The panel's entry: the application object, the main window and the event loop.
//
// The window's constructor runs the start-up (title line, config.dat, board
// connection), so the window first shows with those messages in its log.
// An exception that escapes the start-up or a handler is shown in a box and
// ends the program with exit code 1.

#include "PanelApplication.h"
#include "Unit1.h"
#include "board_link.h"
#include "serial_line.h"
#include "system_ports.h"

#include <exception>

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
            return PanelApplication::kExitFailure;
        form.show();
        return app.run();
    } catch (const std::exception &error) {
        PanelApplication::show_in_message_box(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        PanelApplication::show_in_message_box(QString());
    }
    return PanelApplication::kExitFailure;
}
