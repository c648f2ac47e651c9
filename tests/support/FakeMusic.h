#pragma once

#include "platform/Music.h"

#include <QList>
#include <QStringList>

#include <functional>

// Music that only remembers: what was played (path and repeat flag) and how
// often it was stopped. Its status is set by the test; playing a path sets it
// to "playing", stopping to "".
class FakeMusic : public quilla::Music
{
  public:
    bool playMusic(const QString &path, bool repeat = false) override
    {
        if (path.isEmpty() || !accepts)
            return false;
        if (onPlay)
            onPlay(path);
        played.append(path);
        repeats.append(repeat);
        setStatus(QStringLiteral("playing"));
        return true;
    }
    void stopMusic() override
    {
        ++stops;
        setStatus(QString());
    }
    QString musicStatus() const override { return m_status; }
    bool hasSoundOutput() const override { return hasOutput; }

    void setStatus(const QString &status)
    {
        m_status = status;
        Q_EMIT statusChanged();
    }

    bool accepts = true; // false: playMusic finds no file
    bool hasOutput = true;
    std::function<void(const QString &)> onPlay; // called as a play begins
    QStringList played;
    QList<bool> repeats;
    int stops = 0;

  private:
    QString m_status;
};
