#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class ReceivedText;

// The "Received text" window: the received text with its control characters
// made visible, each complete line marked with where it went. Not modal; it
// shows what `text` holds at any time, during a run and after it. While
// shown it takes the changes in batches, five times a second, and
// follows the end only while the view is at the bottom.
class ReceivedTextWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReceivedTextWindow(ReceivedText &text, QWidget *parent = nullptr);

    // Takes in what changed since the last look (the timer calls it).
    void refresh();
    // Copies the selection, or everything shown when nothing is selected.
    void copy();
    // Empties the view (and what the window keeps), never the run's journal.
    void clearView();

    QPlainTextEdit *view() const { return m_view; }
    QCheckBox *hexBox() const { return m_hex; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *clearButton() const { return m_clear; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void removeTop(qint64 lines);
    void removeFrom(qint64 line);

    ReceivedText &m_text;
    QPlainTextEdit *m_view = nullptr;
    QCheckBox *m_hex = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_clear = nullptr;
    QTimer m_timer;
    // Ids of the lines the view holds: [m_shownFirst, m_shownEnd).
    qint64 m_shownFirst = 0;
    qint64 m_shownEnd = 0;
    bool m_showAll = true;
    bool m_follow = true; // the view stays at the end
};
