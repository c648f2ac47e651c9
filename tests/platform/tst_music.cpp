#include "platform/Music.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>

using namespace quilla;

namespace {

// A mono 16-bit PCM sine of the given length.
bool writeWav(const QString &path, double seconds)
{
    constexpr quint32 rate = 22050;
    const auto samples = quint32(rate * seconds);
    QByteArray data(int(samples * 2), Qt::Uninitialized);
    for (quint32 i = 0; i < samples; ++i)
        qToLittleEndian<qint16>(qint16(8000 * std::sin(2 * M_PI * 440 * i / rate)), data.data() + 2 * i);

    QByteArray header;
    auto put32 = [&header](quint32 v) {
        char bytes[4];
        qToLittleEndian(v, bytes);
        header.append(bytes, 4);
    };
    auto put16 = [&header](quint16 v) {
        char bytes[2];
        qToLittleEndian(v, bytes);
        header.append(bytes, 2);
    };
    header.append("RIFF");
    put32(36 + quint32(data.size()));
    header.append("WAVEfmt ");
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    header.append("data");
    put32(quint32(data.size()));

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header + data) == header.size() + data.size();
}

int playingPlayers(const QObject &music)
{
    int count = 0;
    for (const QMediaPlayer *player : music.findChildren<QMediaPlayer *>())
        count += player->playbackState() == QMediaPlayer::PlayingState;
    return count;
}

const QString Playing = QStringLiteral("playing");

} // namespace

class TestMusic : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_short; // 0.3 s
    QString m_long;  // 3 s

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("music")));
        m_short = m_dir.filePath(QStringLiteral("music/short.wav"));
        m_long = m_dir.filePath(QStringLiteral("long.wav"));
        QVERIFY(writeWav(m_short, 0.3));
        QVERIFY(writeWav(m_long, 3));
    }

    void resolvesProgramFolderPaths()
    {
        const QString folder = QStringLiteral("/opt/quilla");
        QCOMPARE(ResolveMusicPath(QStringLiteral(".\\music\\a.mp3"), folder),
                 QStringLiteral("/opt/quilla/music/a.mp3"));
        QCOMPARE(ResolveMusicPath(QStringLiteral(".\\a.mp3"), QStringLiteral("/opt/quilla/")),
                 QStringLiteral("/opt/quilla/a.mp3"));
        QCOMPARE(ResolveMusicPath(QStringLiteral("..\\a.mp3"), folder), QStringLiteral("..\\a.mp3"));
        QCOMPARE(ResolveMusicPath(QStringLiteral("/home/a b/x.mp3"), folder),
                 QStringLiteral("/home/a b/x.mp3"));
        QCOMPARE(ResolveMusicPath(QString(), folder), QString());
    }

    void playsReplacesAndStops()
    {
        MediaMusic music(m_dir.path());
        QSignalSpy changes(&music, &Music::statusChanged);
        QCOMPARE(music.MusicStatus(), QString());
        music.StopMusic(); // nothing open: nothing happens
        QCOMPARE(changes.count(), 0);

        QVERIFY(music.PlayMusic(m_long));
        QTRY_COMPARE(music.MusicStatus(), Playing);
        QVERIFY(changes.count() > 0);

        // The second file replaces the first: one player sounds, and it ends
        // with the short file, long before the first one would.
        QVERIFY(music.PlayMusic(QStringLiteral(".\\music\\short.wav")));
        QTRY_COMPARE(music.MusicStatus(), Playing);
        QTRY_COMPARE(playingPlayers(music), 1);
        QTRY_COMPARE_WITH_TIMEOUT(music.MusicStatus(), QStringLiteral("stopped"), 2000);
        QCOMPARE(playingPlayers(music), 0);

        QVERIFY(music.PlayMusic(m_long));
        QTRY_COMPARE(music.MusicStatus(), Playing);
        music.StopMusic();
        QCOMPARE(music.MusicStatus(), QString());
        QTRY_COMPARE(playingPlayers(music), 0);
    }

    void repeatKeepsPlayingPastTheEnd()
    {
        MediaMusic music;
        QVERIFY(music.PlayMusic(m_short, true));
        QTRY_COMPARE(music.MusicStatus(), Playing);
        QTest::qWait(1000);
        QCOMPARE(music.MusicStatus(), Playing);
        music.StopMusic();
    }

    void missingFileIsRefusedSilently()
    {
        MediaMusic music(m_dir.path());
        QVERIFY(music.PlayMusic(m_long));
        QTRY_COMPARE(music.MusicStatus(), Playing);
        QSignalSpy changes(&music, &Music::statusChanged);
        QVERIFY(!music.PlayMusic(QString()));
        QVERIFY(!music.PlayMusic(m_dir.filePath(QStringLiteral("none.wav"))));
        QVERIFY(!music.PlayMusic(QStringLiteral("..\\music\\short.wav")));
        QVERIFY(!music.PlayMusic(QStringLiteral(".\\music"))); // a folder
        // What played before plays on.
        QCOMPARE(music.MusicStatus(), Playing);
        QCOMPARE(changes.count(), 0);
        music.StopMusic();
    }

    void unplayableFileNeverCountsAsPlaying()
    {
        const QString text = m_dir.filePath(QStringLiteral("text.wav"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("这不是声音文件\n");
        file.close();

        MediaMusic music;
        QStringList seen;
        connect(&music, &Music::statusChanged, this, [&] { seen.append(music.MusicStatus()); });
        QVERIFY(music.PlayMusic(text));
        QTRY_COMPARE(music.MusicStatus(), QString());
        QTest::qWait(200);
        QVERIFY2(!seen.contains(Playing), qPrintable(seen.join(u',')));

        // The failed file holds nothing up: the next one starts at once.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(music.PlayMusic(m_short));
        music.StopMusic();
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestMusic)
#include "tst_music.moc"
