#pragma once

#include "data/Progress.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;

namespace quilla {

// The blue bar of the progress window. Like a pen on paper it only grows until
// it is cleared.
class ProgressBar : public QWidget
{
  public:
    explicit ProgressBar(QWidget *parent = nullptr);
    void clear();
    void draw(double fraction);
    double drawn() const { return m_drawn; }

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    double m_drawn = 0;
};

// The small always-on-top window of long operations.
class Indicator : public QWidget
{
  public:
    explicit Indicator(QWidget *parent = nullptr);

  private:
    friend class ProgressIndicator;
    QLabel *m_caption;
    ProgressBar *m_bar;
    QLabel *m_percent;
    QLabel *m_steps; // (position/total)
    QLabel *m_times; // elapsed/remaining/estimated total
};

// "0:45", "10:5", "1:2:5": hours only when there are any, no leading zeros.
QString formatDuration(qint64 seconds);
// The percentage of position in total, kept to thousandths: "0%", "12.5%", "100%".
QString percentText(qint64 position, qint64 total);

// The program's one progress state and its window.
//
// The caller's work runs without returning to the event loop, so the indicator
// lets pending events run for it: when it opens (until the window is on screen),
// at most every 50 ms while steps arrive, and when it closes. Those passes let
// every window of the program repaint, and let timers and queued calls run; the
// user's clicks and keys stay queued until the caller returns to the event loop,
// so no input handler runs in the middle of the work.
class ProgressIndicator : public Progress
{
  public:
    // clock gives the current time in whole seconds (tests set their own).
    explicit ProgressIndicator(std::function<qint64()> clock = {});
    ~ProgressIndicator() override;

    void progressBegin(const QString &caption, int total);
    void progressStep(int increment, const QString &text);
    void progressDraw(int newPosition);
    void progressEnd();

    void begin(const QString &caption, int total) override { progressBegin(caption, total); }
    void step(int increment, const QString &text) override { progressStep(increment, text); }
    void end() override { progressEnd(); }

    Indicator *window() const { return m_window; } // null while idle
    int position() const { return m_position; }

  private:
    void waitUntilExposed();
    void refresh();
    void letWindowsPaint();

    std::function<qint64()> m_clock;
    QPointer<Indicator> m_window;
    QElapsedTimer m_sincePaint; // since pending events last ran
    bool m_painting = false;
    QString m_caption;
    int m_total = 1;
    int m_position = 0;
    qint64 m_startTime = 0;
};

} // namespace quilla
