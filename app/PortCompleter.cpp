#include "PortCompleter.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>

#include <algorithm>

PortCompleter::PortCompleter(PortSource ports, QLineEdit *field)
    : QCompleter(field), ports_(std::move(ports)), field_(field),
      entries_(new QStandardItemModel(this))
{
    setModel(entries_);
    setCompletionMode(QCompleter::PopupCompletion);
    setFilterMode(Qt::MatchContains);
    setCaseSensitivity(Qt::CaseInsensitive);
    setModelSorting(QCompleter::UnsortedModel);
    setMaxVisibleItems(12);
    field_->setCompleter(this);
    field_->installEventFilter(this);
}

void PortCompleter::refresh()
{
    std::vector<atlys::PortChoice> choices = atlys::port_choices(ports_());
    const auto same = [](const atlys::PortChoice &a, const atlys::PortChoice &b) {
        return a.name == b.name && a.label == b.label;
    };
    if (choices.size() == shown_.size() &&
        std::equal(choices.begin(), choices.end(), shown_.begin(), same))
        return;

    entries_->clear();
    for (const atlys::PortChoice &choice : choices) {
        auto *const item = new QStandardItem(QString::fromStdString(choice.label));
        item->setData(QString::fromStdString(choice.name), kNameRole);
        item->setEditable(false);
        entries_->appendRow(item);
    }
    shown_ = std::move(choices);
    fit_popup_width();
}

QString PortCompleter::pathFromIndex(const QModelIndex &index) const
{
    return index.data(kNameRole).toString();
}

// The popup opens as wide as the field; widen it so every line shows whole.
void PortCompleter::fit_popup_width()
{
    QAbstractItemView *const list = popup();
    int widest = 0;
    for (const atlys::PortChoice &choice : shown_)
        widest = std::max(
            widest, list->fontMetrics().horizontalAdvance(QString::fromStdString(choice.label)));
    const QStyle *const style = list->style();
    const int text_margins =
        2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, list);
    const int bar =
        style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list->verticalScrollBar());
    list->setMinimumWidth(widest + text_margins + frame + bar);
}

bool PortCompleter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == field_) {
        switch (event->type()) {
        case QEvent::FocusIn: {
            // Moving into the field (Tab, a click, a shortcut). Not when the
            // window comes back or a popup closes: the next key looks again,
            // and a window shown with its focus here lists nothing it need not.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                refresh();
            break;
        }
        case QEvent::KeyPress: {
            if (popup()->isVisible())
                break;
            // Before the key reaches the field, so the popup it may open
            // filters the ports listed now.
            refresh();
            const auto *const key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Down &&
                (key->modifiers() & ~(Qt::AltModifier | Qt::KeypadModifier)) == Qt::NoModifier) {
                // Down opens the whole list, as on a combo box.
                setCompletionPrefix(QString());
                complete();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QCompleter::eventFilter(watched, event);
}
