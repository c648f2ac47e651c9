#include "system/Gb18030.h"
#include "support/WineGaps.h"

#include <QTest>

using namespace quilla;

class TestGb18030 : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void decodesPieceByPiece_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("A1,b") << QStringLiteral("A1,b");
        QTest::newRow("two-byte GBK") << QByteArray("\xD5\xC5\xC8\xFD,1001") << QStringLiteral("张三,1001");
        QTest::newRow("four-byte")
            << QByteArray("\x81\x30\x84\x36") << QStringLiteral("\u00A5");
        QTest::newRow("beyond the BMP") << QByteArray("\x95\x32\x82\x36") << QStringLiteral("\U00020000");
        QTest::newRow("mixed") << QByteArray("a\xD5\xC5\x81\x30\x84\x36z") << QStringLiteral("a张\u00A5z");
    }

    // However the bytes are cut, the text comes out whole and once.
    void decodesPieceByPiece()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        if (bytes.contains("\x81\x30") || bytes.contains("\x95\x32"))
            SKIP_WITHOUT_GB18030_CODE_PAGE();
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            Gb18030Decoder decoder;
            QString decoded = decoder(QByteArrayView(bytes).first(cut));
            decoded += decoder(QByteArrayView(bytes).sliced(cut));
            QCOMPARE(decoded, text);
        }
        for (qsizetype cut = 0; cut <= text.size(); ++cut) {
            Gb18030Encoder encoder;
            QByteArray encoded = encoder(QStringView(text).first(cut));
            encoded += encoder(QStringView(text).sliced(cut));
            QCOMPARE(encoded, bytes);
        }
    }

    void aCutCharacterIsHeldUntilTheRestComes()
    {
        Gb18030Decoder decoder;
        QCOMPARE(decoder(QByteArrayView("\xD5")), QString());
        QCOMPARE(decoder(QByteArrayView("\xC5")), QStringLiteral("张"));
        SKIP_WITHOUT_GB18030_CODE_PAGE();
        Gb18030Encoder encoder;
        const QString pair = QStringLiteral("\U00020000");
        QCOMPARE(encoder(QStringView(pair).first(1)), QByteArray());
        QCOMPARE(encoder(QStringView(pair).sliced(1)), QByteArray("\x95\x32\x82\x36"));
    }
};

QTEST_GUILESS_MAIN(TestGb18030)
#include "tst_gb18030.moc"
