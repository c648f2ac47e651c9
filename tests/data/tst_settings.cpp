#include "data/Settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace quilla;

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::defaultFormat(), QSettings::UserScope, m_dir.path());
    }

    void missingAndEmptyReadAsDefault()
    {
        const QString app = QStringLiteral("Vantolo-defaults");
        // First run: nothing stored, the reader's default comes back and an empty key stays behind.
        QCOMPARE(readSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString()), QString());
        QCOMPARE(readSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, app);
        QVERIFY(settings.contains(QStringLiteral("ReSet/CHK")));

        QVERIFY(writeSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QStringLiteral("1")));
        QCOMPARE(readSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString()),
                 QStringLiteral("1"));
        QVERIFY(writeSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString()));
        QCOMPARE(readSetting(app, QStringLiteral("ReSet"), QStringLiteral("CHK"), QStringLiteral("0")),
                 QStringLiteral("0"));
    }

    void textsRoundTrip()
    {
        const QStringList keys{QStringLiteral("T(0)"), QStringLiteral("T(1)"), QStringLiteral("I(0)"),
                               QStringLiteral("I(1)")};
        const QStringList values{QStringLiteral("号码"), QStringLiteral("姓名, \"全名\" = a/b\\c"),
                                 QStringLiteral("3"), QStringLiteral("𠀀 ;#[x]")};
        for (int i = 0; i < keys.size(); ++i)
            QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ImputMap"), keys.at(i), values.at(i)));
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(readSetting(SettingsApplication, QStringLiteral("ImputMap"), keys.at(i), QString()),
                     values.at(i));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
