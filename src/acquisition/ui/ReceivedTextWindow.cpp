#include "ReceivedTextWindow.h"

#include "ReceivedText.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {
// Five looks a second: each look that finds something new repaints the view,
// which at ten a second cost about as much CPU as the run itself.
constexpr int kRefreshMs = 200;
} // namespace

ReceivedTextWindow::ReceivedTextWindow(ReceivedText &text, QWidget *parent) : QWidget(parent, Qt::Window), m_text(text)
{
    setObjectName("ReceivedTextWindow");
    setWindowTitle(QStringLiteral("Received text"));
    resize(820, 440);

    m_view = new QPlainTextEdit(this);
    m_view->setReadOnly(true);
    m_view->setUndoRedoEnabled(false);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto *legend = new QLabel(QString::fromUtf8("\u2192 TAB   \u2190 CR   \u2193 LF   <1B> other bytes, in hex"), this);
    legend->setFont(m_view->font());
    m_hex = new QCheckBox(QStringLiteral("&Hex"), this);
    m_copy = new QPushButton(QStringLiteral("&Copy"), this);
    m_clear = new QPushButton(QStringLiteral("C&lear"), this);

    auto *controls = new QHBoxLayout;
    controls->addWidget(legend, 1);
    controls->addWidget(m_hex);
    controls->addWidget(m_copy);
    controls->addWidget(m_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(controls);

    connect(m_hex, &QCheckBox::toggled, this, [this] {
        m_showAll = true;
        refresh();
    });
    connect(m_copy, &QPushButton::clicked, this, &ReceivedTextWindow::copy);
    connect(m_clear, &QPushButton::clicked, this, &ReceivedTextWindow::clearView);
    // The view follows the end while it is at the bottom: scrolling up holds
    // it, and a new size or new lines keep it at the bottom otherwise.
    QScrollBar *bar = m_view->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) { m_follow = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_follow)
            bar->setValue(maximum);
    });
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &ReceivedTextWindow::refresh);
}

void ReceivedTextWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_timer.start();
}

void ReceivedTextWindow::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void ReceivedTextWindow::removeTop(qint64 lines)
{
    QTextCursor cursor(m_view->document());
    cursor.setPosition(m_view->document()->findBlockByNumber(int(lines)).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void ReceivedTextWindow::removeFrom(qint64 line)
{
    QTextCursor cursor(m_view->document());
    if (line > 0) {
        const QTextBlock before = m_view->document()->findBlockByNumber(int(line - 1));
        cursor.setPosition(before.position() + before.length() - 1); // with the line break after it
    }
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void ReceivedTextWindow::refresh()
{
    if (!m_showAll && !m_text.changed())
        return;
    const ReceivedText::Changes changes = m_text.takeChanges();
    QScrollBar *bar = m_view->verticalScrollBar();
    const bool follow = m_follow;
    qint64 position = bar->value();

    const qint64 end = changes.firstId + m_text.lineCount();
    qint64 from = std::max(changes.changedFrom, changes.firstId);
    if (m_showAll || changes.reset || changes.firstId >= m_shownEnd) {
        m_view->clear();
        m_shownFirst = m_shownEnd = from = changes.firstId;
        position = 0;
        m_showAll = false;
    } else {
        if (const qint64 gone = changes.firstId - m_shownFirst; gone > 0) {
            removeTop(gone);
            m_shownFirst = changes.firstId;
            position = std::max<qint64>(0, position - gone);
        }
        if (from < m_shownEnd) {
            removeFrom(from - m_shownFirst);
            m_shownEnd = from;
        }
    }

    QString added;
    const bool hex = m_hex->isChecked();
    for (qint64 id = m_shownEnd; id < end; ++id) {
        if (id > m_shownFirst)
            added += QLatin1Char('\n');
        added += ReceivedText::shownText(m_text.line(id - changes.firstId), hex);
    }
    if (!added.isEmpty()) {
        QTextCursor cursor(m_view->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(added);
    }
    m_shownEnd = end;
    m_follow = follow;
    bar->setValue(follow ? bar->maximum() : int(position));
}

void ReceivedTextWindow::copy()
{
    const QString selected = m_view->textCursor().selectedText();
    // A selection across lines holds paragraph separators where the breaks were.
    QApplication::clipboard()->setText(selected.isEmpty() ? m_view->toPlainText()
                                                          : QString(selected).replace(QChar(0x2029), '\n'));
}

void ReceivedTextWindow::clearView()
{
    m_text.clear();
    refresh();
}
