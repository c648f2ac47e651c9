#include "Music.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace quilla {

QString resolveMusicPath(const QString &path, const QString &programFolder)
{
    // Operators on this system also write "./"; both mean the program folder.
    if (!path.startsWith(u".\\") && !path.startsWith(u"./"))
        return path;
    QString rest = path.mid(2);
    rest.replace(u'\\', u'/');
    return QDir(programFolder).filePath(rest);
}

MediaMusic::MediaMusic(const QString &programFolder, QObject *parent)
    : Music(parent),
      m_programFolder(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder)
{
}

bool MediaMusic::playMusic(const QString &path, bool repeat)
{
    if (path.isEmpty())
        return false;
    const QString file = resolveMusicPath(path, m_programFolder);
    if (!QFileInfo(file).isFile())
        return false;

    stopMusic();
    // A fresh player for every file: after an unplayable file the old one would
    // hold up every later stop or source change by a second.
    QMediaPlayer *player = newPlayer(file);
    m_player = player;
    player->setLoops(repeat ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    player->play();
    refresh();
    return true;
}

QMediaPlayer *MediaMusic::newPlayer(const QString &file)
{
    auto *player = new QMediaPlayer(this);
    player->setAudioOutput(new QAudioOutput(player));
    connect(player, &QMediaPlayer::playbackStateChanged, this, &MediaMusic::refresh);
    connect(player, &QMediaPlayer::mediaStatusChanged, this, &MediaMusic::refresh);
    connect(player, &QMediaPlayer::errorOccurred, this, &MediaMusic::refresh);
    player->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    return player;
}

bool MediaMusic::hasSoundOutput() const
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

void MediaMusic::prepareTunes(const QStringList &paths)
{
    stopMusic();
    releaseTunes();
    // Without a sound output a player only fills the log with warnings.
    if (paths.isEmpty() || !hasSoundOutput())
        return;
    for (const QString &path : paths) {
        const QString file = path.isEmpty() ? QString() : resolveMusicPath(path, m_programFolder);
        m_tunePlayers.append(!file.isEmpty() && QFileInfo(file).isFile() ? newPlayer(file) : nullptr);
    }
}

void MediaMusic::playTune(int index, bool repeat)
{
    stopMusic();
    QMediaPlayer *player = m_tunePlayers.value(index);
    if (!player || player->error() != QMediaPlayer::NoError)
        return;
    m_tune = player;
    player->setLoops(repeat ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    player->setPosition(0);
    player->play();
    refresh();
}

void MediaMusic::releaseTunes()
{
    for (const QPointer<QMediaPlayer> &player : std::as_const(m_tunePlayers))
        if (player) {
            player->disconnect(this);
            player->deleteLater();
        }
    m_tunePlayers.clear();
    m_tune = nullptr;
}

void MediaMusic::stopMusic()
{
    // A tune stays open for its next turn; pausing is cheaper than stopping.
    if (QMediaPlayer *tune = std::exchange(m_tune, nullptr); tune && tune->error() == QMediaPlayer::NoError)
        tune->pause();
    if (QMediaPlayer *player = m_player) {
        m_player = nullptr;
        player->disconnect(this);
        // Stopping a player that failed blocks; deleting it does not.
        if (player->error() == QMediaPlayer::NoError && player->mediaStatus() != QMediaPlayer::InvalidMedia)
            player->stop();
        // Later: this may run inside one of the player's own signals.
        player->deleteLater();
    }
    refresh();
}

QString MediaMusic::musicStatus() const
{
    const QMediaPlayer *player = m_tune ? m_tune.data() : m_player.data();
    if (!player || player->error() != QMediaPlayer::NoError)
        return {};
    switch (player->mediaStatus()) {
    case QMediaPlayer::NoMedia:
    case QMediaPlayer::InvalidMedia:
        return {};
    case QMediaPlayer::LoadingMedia:
        // The playback state says "playing" at once, before the file is known to be sound.
        if (player->playbackState() == QMediaPlayer::PlayingState)
            return QStringLiteral("not ready");
        break;
    default:
        break;
    }
    switch (player->playbackState()) {
    case QMediaPlayer::PlayingState:
        return QStringLiteral("playing");
    case QMediaPlayer::PausedState:
        return QStringLiteral("paused");
    case QMediaPlayer::StoppedState:
        break;
    }
    return QStringLiteral("stopped");
}

void MediaMusic::refresh()
{
    const QString status = musicStatus();
    if (status == m_lastStatus)
        return;
    m_lastStatus = status;
    Q_EMIT statusChanged();
}

} // namespace quilla
