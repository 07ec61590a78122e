#pragma once
// The window and its link over a port list a test controls, so COM1, COM2,
// ... only ever name the simulator's pseudo-terminals or devices that do not
// exist.

#include "Unit1.h"
#include "board_link.h"
#include "board_sim.h"
#include "serial_line.h"

#include "ActivityLog.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using atlys::PortInfo;

// A temporary folder made the current one for a test (the panel reads
// config.dat from the current folder); the previous one is current again
// before the folder is removed.
class WorkingFolder {
public:
    WorkingFolder() : previous_(QDir::currentPath())
    {
        ok_ = dir_.isValid() && QDir::setCurrent(dir_.path());
    }
    ~WorkingFolder() { QDir::setCurrent(previous_); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    bool ok() const { return ok_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
    bool ok_ = false;
};

inline PortInfo port_at(const std::string &name, const std::string &device)
{
    return {name, device, {}, {}, {}};
}

// A device path that exists on no machine.
inline PortInfo missing_port(const std::string &name)
{
    return port_at(name, "/nonexistent/atlys-test/" + name);
}

inline PortInfo sim_port(const std::string &name, const atlys::sim::BoardSim &sim)
{
    return port_at(name, sim.slave_path());
}

// The link and the window over a port list the test can change at any time.
struct Panel {
    explicit Panel(std::vector<PortInfo> listed) : ports(std::move(listed))
    {
        link = std::make_unique<atlys::BoardLink>(atlys::make_posix_serial_line(), [this] {
            ++lookups;
            return ports;
        });
        form = std::make_unique<TForm1>(*link);
    }
    ~Panel() { form.reset(); }

    QStringList log() const { return form->cmdw->toPlainText().split(QLatin1Char('\n')); }

    std::vector<PortInfo> ports;
    int lookups = 0; // how often the link has listed the ports
    std::unique_ptr<atlys::BoardLink> link;
    std::unique_ptr<TForm1> form;
};

inline void write_config(const QByteArray &contents)
{
    QFile file(QStringLiteral("config.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}
