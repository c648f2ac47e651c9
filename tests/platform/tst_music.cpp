#include "platform/Music.h"
#include "support/WineGaps.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace quilla;

namespace {

// A mono 16-bit PCM sine.
bool writeWav(const QString &path, double seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 rate = 22050, bytes = 2 * quint32(rate * seconds);
    out.writeRawData("RIFF", 4);
    out << 36 + bytes;
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << rate << rate * 2 << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    for (quint32 i = 0; i < bytes / 2; ++i)
        out << qint16(8000 * std::sin(2 * M_PI * 440 * i / rate));
    return out.status() == QDataStream::Ok;
}

const QString Playing = QStringLiteral("playing");

} // namespace

class TestMusic : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_long; // 3 s; the short one (0.3 s) is music/short.wav

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("music")));
        m_long = m_dir.filePath(QStringLiteral("long.wav"));
        QVERIFY(writeWav(m_long, 3));
        QVERIFY(writeWav(m_dir.filePath(QStringLiteral("music/short.wav")), 0.3));
    }

    void resolvesProgramFolderPaths()
    {
        const QString folder = QStringLiteral("/opt/q/");
        QCOMPARE(resolveMusicPath(QStringLiteral(".\\music\\a.mp3"), folder),
                 QStringLiteral("/opt/q/music/a.mp3"));
        QCOMPARE(resolveMusicPath(QStringLiteral("..\\a.mp3"), folder), QStringLiteral("..\\a.mp3"));
        QCOMPARE(resolveMusicPath(QStringLiteral("/a b/x.mp3"), folder), QStringLiteral("/a b/x.mp3"));
    }

    void playsReplacesRepeatsAndStops()
    {
        SKIP_WITHOUT_SOUND_UNDER_WINE();
        MediaMusic music(m_dir.path());
        QVERIFY(music.playMusic(m_long));
        QTRY_COMPARE(music.musicStatus(), Playing);

        // The short file replaces the long one and ends long before it would.
        const QString shortFile = QStringLiteral(".\\music\\short.wav");
        QVERIFY(music.playMusic(shortFile));
        QTRY_COMPARE_WITH_TIMEOUT(music.musicStatus(), QStringLiteral("stopped"), 2000);

        QVERIFY(music.playMusic(shortFile, true));
        QTRY_COMPARE(music.musicStatus(), Playing);
        QTest::qWait(1000);
        QCOMPARE(music.musicStatus(), Playing);

        QSignalSpy changes(&music, &Music::statusChanged);
        music.stopMusic();
        QCOMPARE(music.musicStatus(), QString());
        music.stopMusic(); // nothing open: nothing happens
        QCOMPARE(changes.count(), 1);
    }

    void refusesMissingFilesAndNeverPlaysNoise()
    {
        SKIP_WITHOUT_SOUND_UNDER_WINE();
        MediaMusic music(m_dir.path());
        QVERIFY(music.playMusic(m_long));
        QTRY_COMPARE(music.musicStatus(), Playing);
        QSignalSpy changes(&music, &Music::statusChanged);
        for (const char *missing : {"", "none.wav", "..\\music\\short.wav", ".\\music"})
            QVERIFY(!music.playMusic(QString::fromUtf8(missing)));
        QCOMPARE(music.musicStatus(), Playing); // what played plays on
        QCOMPARE(changes.count(), 0);

        const QString noise = m_dir.filePath(QStringLiteral("text.wav"));
        QFile file(noise);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("这不是声音\n") > 0);
        file.close();
        QStringList seen;
        connect(&music, &Music::statusChanged, this, [&] { seen.append(music.musicStatus()); });
        QVERIFY(music.playMusic(noise));
        QTRY_COMPARE(music.musicStatus(), QString());
        QTest::qWait(200);
        QVERIFY2(!seen.contains(Playing), qPrintable(seen.join(u',')));

        // The failed file holds nothing up.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(music.playMusic(m_long));
        music.stopMusic();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed()))); // room for a loaded machine, none for a hang
    }
};

QTEST_GUILESS_MAIN(TestMusic)
#include "tst_music.moc"
