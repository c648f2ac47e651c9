#include "ProgressWindow.h"

#include "platform/WindowHelpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace quilla {

ProgressBar::ProgressBar(QWidget *parent) : QWidget(parent)
{
    setMinimumHeight(18);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void ProgressBar::clear()
{
    m_drawn = 0;
    update();
}

void ProgressBar::draw(double fraction)
{
    m_drawn = std::max(m_drawn, std::clamp(fraction, 0.0, 1.0));
    update();
}

void ProgressBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRectF(0, 0, width() * m_drawn, height()), colorFromBgr(0xFF0000));
}

Indicator::Indicator(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), m_caption(new QLabel(this)),
      m_bar(new ProgressBar(this)), m_percent(new QLabel(this)), m_steps(new QLabel(this)), m_times(new QLabel(this))
{
    setWindowTitle(QStringLiteral("请稍侯 …"));
    m_caption->setObjectName(QStringLiteral("caption"));
    m_bar->setObjectName(QStringLiteral("bar"));
    m_percent->setObjectName(QStringLiteral("percent"));
    m_steps->setObjectName(QStringLiteral("steps"));
    m_times->setObjectName(QStringLiteral("times"));
    m_caption->setText(QStringLiteral("进度条指示器"));
    m_percent->setText(QStringLiteral("0%"));
    m_percent->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_bar);
    auto *figures = new QHBoxLayout;
    figures->addWidget(m_steps);
    figures->addStretch();
    figures->addWidget(m_percent);
    figures->addStretch();
    figures->addWidget(m_times);
    layout->addLayout(figures);
    setFixedWidth(360);
}

QString formatDuration(qint64 seconds)
{
    if (seconds <= 0)
        return QStringLiteral("0:0");
    const qint64 hours = seconds / 3600;
    const QString minutesSeconds = QString::number(seconds / 60 % 60) + u':' + QString::number(seconds % 60);
    return hours > 0 ? QString::number(hours) + u':' + minutesSeconds : minutesSeconds;
}

QString percentText(qint64 position, qint64 total)
{
    total = std::max<qint64>(total, 1);
    const qint64 thousandths = qint64(std::floor(double(position) * 1000.0 / double(total)));
    const QString whole = QString::number(thousandths / 10);
    const qint64 tenth = std::abs(thousandths % 10);
    return (tenth ? QString::number(double(thousandths) / 10.0, 'f', 1) : whole) + u'%';
}

ProgressIndicator::ProgressIndicator(std::function<qint64()> clock) : m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentSecsSinceEpoch(); };
}

ProgressIndicator::~ProgressIndicator()
{
    delete m_window;
}

// Steps come far more often than anyone can see them (a fill reports tens of
// thousands): pending events run once per interval, not once per step.
constexpr int PaintInterval = 50;
// A window the system never shows (a minimised program, another desktop) must
// not hold up the work for long.
constexpr int ExposeWait = 500;

void ProgressIndicator::waitUntilExposed()
{
    const QWindow *handle = m_window ? m_window->windowHandle() : nullptr;
    if (!handle || handle->isExposed())
        return;
    // Shown is not yet on screen: the system exposes the window through the event
    // loop, and anything painted before then is lost. The timer wakes the wait
    // when nothing else arrives.
    QElapsedTimer waited;
    waited.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ExposeWait);
    while (m_window && !handle->isExposed() && !waited.hasExpired(ExposeWait))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

void ProgressIndicator::refresh()
{
    if (!m_sincePaint.isValid() || m_sincePaint.hasExpired(PaintInterval))
        letWindowsPaint();
}

void ProgressIndicator::letWindowsPaint()
{
    // A timer run below may report progress of its own; it must not start another pass.
    if (m_painting)
        return;
    m_painting = true;
    // Paints and layouts of every window, timers and queued calls run; clicks and
    // keys stay queued until the caller's work is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_painting = false;
    m_sincePaint.start();
}

void ProgressIndicator::progressBegin(const QString &caption, int total)
{
    if (!m_window) {
        m_window = new Indicator;
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->adjustSize();
        centreInWorkArea(m_window);
        makeTopmost(m_window);
    }
    m_caption = caption;
    m_window->m_caption->setText(caption);
    m_total = std::max(total, 1); // a total of 0 would divide by zero
    m_window->m_bar->clear();
    m_position = 0;
    m_window->m_percent->setText(QStringLiteral("0%"));
    m_window->show();
    m_startTime = m_clock();
    waitUntilExposed();
    letWindowsPaint();
}

void ProgressIndicator::progressStep(int increment, const QString &text)
{
    const int p = m_position + increment;
    const double fraction = std::floor(double(p) / m_total * 1000.0) / 1000.0;
    if (m_window)
        m_window->m_percent->setText(percentText(p, m_total));
    if (!text.isEmpty() && m_window) {
        if (text.toLower() != QStringLiteral("pages")) {
            m_caption = text;
            m_window->m_caption->setText(text);
        } else if (fraction >= 0.001) {
            const qint64 elapsed = m_clock() - m_startTime;
            const qint64 estimate = qint64(std::nearbyint(double(elapsed) / fraction));
            m_window->m_times->setText(formatDuration(elapsed) + u'/' + formatDuration(estimate - elapsed) + u'/' +
                                  formatDuration(estimate));
            m_window->m_steps->setText(u'(' + QString::number(p) + u'/' + QString::number(m_total) + u')');
        }
    }
    progressDraw(p);
}

void ProgressIndicator::progressDraw(int newPosition)
{
    m_position = newPosition;
    if (!m_window)
        return;
    m_window->m_bar->draw(double(newPosition) / m_total);
    refresh();
}

void ProgressIndicator::progressEnd()
{
    if (!m_window)
        return;
    m_window->close();
    m_window = nullptr;
    // What the window covered is painted again before the caller goes on.
    letWindowsPaint();
}

} // namespace quilla
