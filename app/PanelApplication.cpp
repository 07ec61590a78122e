#include "PanelApplication.h"

#include <QMessageBox>

#include <exception>

PanelApplication::PanelApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool PanelApplication::notify(QObject *receiver, QEvent *event)
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

int PanelApplication::run()
{
    reported_ = false;
    const int code = exec();
    return failed_ ? kExitFailure : code;
}

void PanelApplication::fail(const QString &text)
{
    failed_ = true;
    if (reported_)
        return;
    reported_ = true;
    show_(text);
    // Ends a running event loop with 1; before the loop runs, main checks failed().
    exit(kExitFailure);
}

void PanelApplication::show_in_message_box(const QString &text)
{
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), text);
}
