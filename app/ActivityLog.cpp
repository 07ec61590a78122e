#include "ActivityLog.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int kMargin = 3; // between the frame and the text
}

ActivityLog::ActivityLog(QWidget *parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    update_scroll_range();
}

void ActivityLog::append_line(const QString &line)
{
    lines_.push_back(line);
    // The scroll bar follows once the handler that logged returns to the
    // event loop: a command that logs many lines costs one update, and a
    // range change per line would queue an event per line.
    if (!follow_pending_) {
        follow_pending_ = true;
        QMetaObject::invokeMethod(this, &ActivityLog::show_end, Qt::QueuedConnection);
    }
}

void ActivityLog::show_end()
{
    follow_pending_ = false;
    update_scroll_range();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

QString ActivityLog::toPlainText() const
{
    QString text;
    for (std::size_t k = 0; k < lines_.size(); ++k) {
        if (k > 0)
            text += QLatin1Char('\n');
        text += lines_[k];
    }
    return text;
}

int ActivityLog::line_height() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int ActivityLog::first_visible_line() const
{
    return verticalScrollBar()->value();
}

int ActivityLog::visible_line_count() const
{
    return std::max(1, (viewport()->height() - 2 * kMargin) / line_height());
}

int ActivityLog::line_at(int y) const
{
    const int line = first_visible_line() + (y - kMargin) / line_height();
    return std::clamp(line, 0, std::max(0, line_count() - 1));
}

void ActivityLog::update_scroll_range()
{
    QScrollBar *const bar = verticalScrollBar();
    bar->setRange(0, std::max(0, line_count() - visible_line_count()));
    bar->setPageStep(visible_line_count());
    bar->setSingleStep(1);
}

int ActivityLog::selection_start() const
{
    return anchor_ < 0 ? -1 : std::min(anchor_, current_);
}

int ActivityLog::selection_end() const
{
    return anchor_ < 0 ? -1 : std::max(anchor_, current_);
}

void ActivityLog::select_lines(int from, int to)
{
    if (line_count() == 0) {
        anchor_ = current_ = -1;
    } else {
        anchor_ = std::clamp(from, 0, line_count() - 1);
        current_ = std::clamp(to, 0, line_count() - 1);
    }
    viewport()->update();
}

QString ActivityLog::selected_text() const
{
    QString text;
    for (int k = selection_start(); k >= 0 && k <= selection_end(); ++k) {
        text += line(k);
        text += QLatin1Char('\n');
    }
    return text;
}

void ActivityLog::copy() const
{
    if (selection_start() >= 0)
        QApplication::clipboard()->setText(selected_text());
}

void ActivityLog::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int height = line_height();
    const int first = first_visible_line();
    const int last = std::min(line_count(), first + visible_line_count() + 1);
    const int ascent = fontMetrics().ascent();
    for (int k = first; k < last; ++k) {
        const QRect row(0, kMargin + (k - first) * height, viewport()->width(), height);
        const bool selected = k >= selection_start() && k <= selection_end();
        if (selected)
            painter.fillRect(row, palette().color(QPalette::Highlight));
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(kMargin, row.top() + ascent, line(k));
    }
}

void ActivityLog::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    update_scroll_range();
}

void ActivityLog::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        update_scroll_range();
}

void ActivityLog::scrollContentsBy(int, int)
{
    finish_edit();
    viewport()->update();
}

void ActivityLog::move_current(int line, bool extend)
{
    if (line_count() == 0)
        return;
    line = std::clamp(line, 0, line_count() - 1);
    if (!extend || anchor_ < 0)
        anchor_ = line;
    current_ = line;
    if (line < first_visible_line())
        verticalScrollBar()->setValue(line);
    else if (line >= first_visible_line() + visible_line_count())
        verticalScrollBar()->setValue(line - visible_line_count() + 1);
    viewport()->update();
}

void ActivityLog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && line_count() > 0)
        move_current(line_at(event->position().toPoint().y()),
                     event->modifiers() & Qt::ShiftModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void ActivityLog::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && line_count() > 0)
        move_current(line_at(event->position().toPoint().y()), true);
}

void ActivityLog::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && line_count() > 0)
        edit_line(line_at(event->position().toPoint().y()));
}

void ActivityLog::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        select_lines(0, line_count() - 1);
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const int here = current_ < 0 ? line_count() - 1 : current_;
    switch (event->key()) {
    case Qt::Key_Up:
        move_current(here - 1, extend);
        return;
    case Qt::Key_Down:
        move_current(here + 1, extend);
        return;
    case Qt::Key_PageUp:
        move_current(here - visible_line_count(), extend);
        return;
    case Qt::Key_PageDown:
        move_current(here + visible_line_count(), extend);
        return;
    case Qt::Key_Home:
        move_current(0, extend);
        return;
    case Qt::Key_End:
        move_current(line_count() - 1, extend);
        return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (here >= 0)
            edit_line(here);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void ActivityLog::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *const copy_action = menu.addAction(tr("&Copy"), this, &ActivityLog::copy);
    copy_action->setShortcut(QKeySequence::Copy);
    copy_action->setEnabled(selection_start() >= 0);
    QAction *const all =
        menu.addAction(tr("Select &All"), this, [this] { select_lines(0, line_count() - 1); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(line_count() > 0);
    menu.exec(event->globalPos());
}

void ActivityLog::edit_line(int index)
{
    if (index < 0 || index >= line_count())
        return;
    finish_edit();
    move_current(index, false);
    if (editor_ == nullptr) {
        editor_ = new QLineEdit(viewport());
        editor_->setObjectName(QStringLiteral("cmdw_line_editor"));
        editor_->setFrame(false);
        // Return keeps the edit and Escape drops it; leaving the editor keeps it.
        editor_->installEventFilter(this);
        connect(editor_, &QLineEdit::editingFinished, this, &ActivityLog::finish_edit);
    }
    editor_->setFont(font());
    edited_ = index;
    editor_->setText(line(index));
    editor_->setGeometry(0, kMargin + (index - first_visible_line()) * line_height(),
                         viewport()->width(), line_height() + 2);
    editor_->show();
    editor_->setFocus();
}

bool ActivityLog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == editor_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape)
            editor_->setText(line(edited_));
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            finish_edit();
            return true; // not on to the log, which would open the editor again
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

QString ActivityLog::clipped_line_at(const QPoint &pos) const
{
    if (line_count() == 0 || pos.y() < kMargin)
        return {};
    const int index = first_visible_line() + (pos.y() - kMargin) / line_height();
    if (index >= line_count())
        return {};
    const QString &text = line(index);
    if (kMargin + fontMetrics().horizontalAdvance(text) <= viewport()->width())
        return {};
    return text;
}

bool ActivityLog::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *const help = static_cast<QHelpEvent *>(event);
        const QString text = clipped_line_at(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool ActivityLog::editing() const
{
    return edited_ >= 0;
}

void ActivityLog::finish_edit()
{
    if (edited_ < 0)
        return;
    const int index = edited_;
    edited_ = -1;
    lines_[static_cast<std::size_t>(index)] = editor_->text();
    const bool had_focus = editor_->hasFocus();
    editor_->hide();
    if (had_focus)
        setFocus();
    viewport()->update();
}
