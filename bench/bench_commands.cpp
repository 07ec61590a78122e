// Prints the cost of the port commands through the window against the
// simulated board on a pty, and of the activity log as it grows:
//   - median time of one read command (click to field updated) and one write command
//   - cost of appending a line to a log of 100,000 lines against an empty log
//   - resident memory per 100,000 log lines
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "Unit1.h"
#include "board_link.h"
#include "board_sim.h"
#include "process_figures.h"
#include "text_format.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median time of one append and the event-loop pass that follows it (the
// log scrolls to its end there), over `count` appends, in microseconds.
double append_cost_us(TForm1 &form, int count)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int k = 0; k < count; ++k) {
        timer.start();
        form.log_line("Port[ 3]=FFFFFFFEh  (decimal:        -2,  unsigned: 4294967294)");
        QCoreApplication::processEvents();
        times.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    return median(times);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    atlys::sim::BoardSim board;
    if (!board.start()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    {
        QFile config("config.dat");
        config.open(QIODevice::WriteOnly);
        config.write(QByteArray::fromStdString(board.slave_path()) + "  115200\r\n");
    }
    atlys::BoardLink link(atlys::make_posix_serial_line(),
                          [] { return std::vector<atlys::PortInfo>{}; });
    TForm1 form(link);
    form.show();
    if (!link.is_open()) {
        std::fprintf(stderr, "the panel did not connect to the simulator\n");
        return 1;
    }

    constexpr int kCommands = 500;
    std::vector<double> reads, writes;
    QElapsedTimer timer;
    for (int k = 0; k < kCommands; ++k) {
        board.set_port_value(3, std::uint32_t(k));
        timer.start();
        QTest::mouseClick(form.Button8, Qt::LeftButton);
        reads.push_back(double(timer.nsecsElapsed()) / 1e6);
        form.dataout3->setText(QString::number(k));
        timer.start();
        QTest::mouseClick(form.Button7, Qt::LeftButton);
        writes.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("read command (click to field updated): median %.3f ms over %d\n", median(reads),
                kCommands);
    std::printf("write command (click to frame drained): median %.3f ms over %d\n", median(writes),
                kCommands);

    // The log: appends to a fresh log, then to one of 100,000 lines.
    // An append repaints the visible lines, so an empty log (three lines to
    // paint) is also set beside a log that fills its view (a hundred lines).
    TForm1 empty_form(link);
    empty_form.show();
    const double cost_empty = append_cost_us(empty_form, 1000);
    TForm1 screenful(link);
    screenful.show();
    for (int k = 0; k < 100; ++k)
        screenful.log_line("Write 0000001Fh to port A  (decimal:         31)");
    const double cost_screenful = append_cost_us(screenful, 1000);
    TForm1 big(link);
    big.show();
    const long before_kb = resident_kb();
    for (int k = 0; k < 100000; ++k) {
        big.log_line(atlys::format("Write %08Xh to port A  (decimal: %10d)", unsigned(k), k));
        if (k % 10 == 0)
            QCoreApplication::processEvents(); // as between the operator's commands
    }
    QCoreApplication::processEvents();
    const long after_kb = resident_kb();
    const double cost_full = append_cost_us(big, 1000);
    std::printf("append and repaint: empty log %.1f us, 100 lines %.1f us, 100,000 lines %.1f us;"
                " ratio 100,000 lines to empty %.2f, to 100 lines %.2f\n",
                cost_empty, cost_screenful, cost_full, cost_full / cost_empty,
                cost_full / cost_screenful);
    std::printf("resident memory per 100,000 log lines: %.1f MB\n",
                double(after_kb - before_kb) / 1024.0);
    return 0;
}
