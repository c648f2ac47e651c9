#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

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
    virtual bool PlayMusic(const QString &path, bool repeat = false) = 0;
    // Silence; nothing is open afterwards.
    virtual void StopMusic() = 0;
    // "playing" while a file plays, "" when nothing is open (also after a file
    // turned out unplayable), "not ready" while a file is being opened, else
    // e.g. "stopped" once it has ended. Whoever restarts music that is not
    // playing must wait out "not ready", or it restarts the file for ever.
    virtual QString MusicStatus() const = 0;

  Q_SIGNALS:
    void statusChanged(); // whenever MusicStatus() may have changed
};

// The music of the program, on Qt Multimedia.
class MediaMusic : public Music
{
    Q_OBJECT

  public:
    // programFolder: where ".\" paths lead; empty means the folder of the executable.
    explicit MediaMusic(const QString &programFolder = QString(), QObject *parent = nullptr);

    bool PlayMusic(const QString &path, bool repeat = false) override;
    void StopMusic() override;
    QString MusicStatus() const override;

  private:
    void refresh();

    QString m_programFolder;
    QPointer<QMediaPlayer> m_player; // null while nothing is open
    QString m_lastStatus;
};

// ".\a\b.mp3" (or "./a/b.mp3") → programFolder/a/b.mp3: the "." stands for the
// program folder. Anything else, "..\x" included, is returned unchanged.
QString ResolveMusicPath(const QString &path, const QString &programFolder);

} // namespace quilla
