#pragma once
// The activity log: an unlimited list of lines shown in a fixed-pitch font.
//
// A text document spends close to a kilobyte on every line; a bench log of
// several hundred thousand transfers must not cost hundreds of megabytes, so
// the lines are kept as plain strings and only the visible ones are painted.
// Appending costs the same however long the log is.
//
// The operator can select lines (click, drag, Shift+click, Ctrl+A), copy
// them (Ctrl+C or the context menu) and edit any line in place (double-click,
// F2 or Enter). The program never reads the log back, so edits change nothing.
// A line too long for the view shows whole in a tooltip when pointed at.

#include <QAbstractScrollArea>
#include <QString>

#include <vector>

class QLineEdit;

class ActivityLog : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ActivityLog(QWidget *parent = nullptr);

    // Adds a line at the end; the end of the log is shown when control
    // returns to the event loop.
    void append_line(const QString &line);

    int line_count() const { return static_cast<int>(lines_.size()); }
    const QString &line(int index) const { return lines_[static_cast<std::size_t>(index)]; }
    QString toPlainText() const;

    // The lines shown, top to bottom: the first, and how many fit.
    int first_visible_line() const;
    int visible_line_count() const;

    // Selected lines, inclusive; both -1 when nothing is selected.
    int selection_start() const;
    int selection_end() const;
    void select_lines(int from, int to);
    QString selected_text() const;
    void copy() const;

    // Opens the in-place editor on a line; the edit is kept when it closes.
    void edit_line(int index);
    bool editing() const;

    // The whole text of the line at `pos` (viewport coordinates) when it is
    // wider than the view, else empty: what the tooltip shows.
    QString clipped_line_at(const QPoint &pos) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    int line_height() const;
    int line_at(int y) const;
    void update_scroll_range();
    void move_current(int line, bool extend);
    void finish_edit();
    void show_end();

    std::vector<QString> lines_;
    int anchor_ = -1;  // where the selection started
    int current_ = -1; // the line the selection extends to
    int edited_ = -1;  // the line open in the editor
    QLineEdit *editor_ = nullptr;
    bool follow_pending_ = false;
};
