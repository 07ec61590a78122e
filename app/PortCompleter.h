#pragma once
// Port picking for the port field: a completer that offers the serial ports
// the system lists now, each by its COM name and by its device path, with
// what the system says about it.
//
// The field stays a plain text edit: any text can still be typed, and the
// completer only offers. Choosing an entry puts just its name (COM3 or
// /dev/ttyUSB0) into the field. The list is looked up again each time the
// popup may open (the operator moves into the field, types a key, presses
// Down), so ports plugged in or pulled out since show as they are; showing
// the window looks nothing up. The
// entries match what is typed anywhere in their line, ignoring case, so
// "ftdi" or "USB" finds a port as well as "COM".

#include "port_names.h"

#include <QCompleter>

#include <functional>
#include <vector>

class QLineEdit;
class QStandardItemModel;

class PortCompleter : public QCompleter {
    Q_OBJECT

public:
    using PortSource = std::function<std::vector<atlys::PortInfo>()>;

    // The role that holds the name an entry puts into the field.
    static constexpr int kNameRole = Qt::UserRole + 1;

    // Attaches itself to `field`; `ports` gives the ports in panel order.
    PortCompleter(PortSource ports, QLineEdit *field);

    // Looks the ports up now and rebuilds the entries when they changed.
    void refresh();

    // The name the entry puts into the field, not its whole line.
    QString pathFromIndex(const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fit_popup_width();

    PortSource ports_;
    QLineEdit *field_;
    QStandardItemModel *entries_;
    std::vector<atlys::PortChoice> shown_;
};
