#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <utility>

class QMediaPlayer;

namespace quilla {

// Background music: one sound file at a time, the waiting, drawing and winning
// music of the draw screen and the preview of the draw-setting editor. Every
// failure is silent; music never interrupts a draw.
class Music : public QObject
{
    Q_OBJECT

  public:
    using QObject::QObject;

    // Plays path (".\" = under the program folder), replacing what played before; repeat loops it.
    // False when path is empty or no such file exists (nothing else happens then); true after an attempt.
    virtual bool playMusic(const QString &path, bool repeat = false) = 0;
    // Silence; nothing is open afterwards.
    virtual void stopMusic() = 0;
    // "playing" while a file plays, "" when nothing is open (also after a file
    // turned out unplayable), "not ready" while a file is being opened, else
    // e.g. "stopped" once it has ended. Whoever restarts music that is not
    // playing must wait out "not ready", or it restarts the file for ever.
    virtual QString musicStatus() const = 0;

    // The draw screen's three tunes (waiting, drawing, winning), opened ahead so
    // that a change of tune costs no file opening. No paths releases them.
    virtual void prepareTunes(const QStringList &paths) { m_tunes = paths; }
    // Plays tune index from its start in place of whatever played; repeat loops
    // it. An empty or missing tune is silence.
    virtual void playTune(int index, bool repeat)
    {
        stopMusic();
        playMusic(m_tunes.value(index), repeat);
    }
    // Whether the machine has a sound output at all.
    virtual bool hasSoundOutput() const { return true; }
    // The operator hears once per run that there is no sound; this says whether he has.
    bool takeSilenceNotice()
    {
        return !std::exchange(m_silenceNoticed, true);
    }

  Q_SIGNALS:
    void statusChanged(); // whenever musicStatus() may have changed

  private:
    QStringList m_tunes;
    bool m_silenceNoticed = false;
};

// The music of the program, on Qt Multimedia.
class MediaMusic : public Music
{
    Q_OBJECT

  public:
    // programFolder: where ".\" paths lead; empty means the folder of the executable.
    explicit MediaMusic(const QString &programFolder = QString(), QObject *parent = nullptr);

    bool playMusic(const QString &path, bool repeat = false) override;
    void stopMusic() override;
    QString musicStatus() const override;
    void prepareTunes(const QStringList &paths) override;
    void playTune(int index, bool repeat) override;
    bool hasSoundOutput() const override;

  private:
    void refresh();
    QMediaPlayer *newPlayer(const QString &file);
    void releaseTunes();

    QString m_programFolder;
    QPointer<QMediaPlayer> m_player; // null while nothing is open
    QList<QPointer<QMediaPlayer>> m_tunePlayers; // null where a tune is missing
    QPointer<QMediaPlayer> m_tune;               // the tune playing, if any
    QString m_lastStatus;
};

// ".\a\b.mp3" (or "./a/b.mp3") → programFolder/a/b.mp3: the "." stands for the
// program folder. Anything else, "..\x" included, is returned unchanged.
QString resolveMusicPath(const QString &path, const QString &programFolder);

} // namespace quilla
