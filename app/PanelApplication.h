#pragma once
// The panel's application object. The program's own operations report
// through the log and never throw; an exception that escapes a handler
// anyway is shown (by default in a message box) and ends the event loop
// with exit code 1, so a failure never looks like a normal end.

#include <QApplication>

#include <functional>

class PanelApplication : public QApplication {
public:
    static constexpr int kExitFailure = 1;
    using ShowError = std::function<void(const QString &text)>;

    PanelApplication(int &argc, char **argv);

    // How an escaped exception is shown; a message box unless replaced.
    void set_error_display(ShowError show) { show_ = std::move(show); }

    bool notify(QObject *receiver, QEvent *event) override;

    // Runs the event loop: kExitFailure once an exception has escaped, else
    // the loop's own exit code.
    int run();

    // Shows the text (once per run of the loop, even if more handlers throw
    // while it is up) and ends the event loop with kExitFailure.
    void fail(const QString &text);
    // True once an exception has escaped.
    bool failed() const { return failed_; }

    static void show_in_message_box(const QString &text);

private:
    ShowError show_ = &PanelApplication::show_in_message_box;
    bool failed_ = false;
    bool reported_ = false;
};
