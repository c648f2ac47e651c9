// Linked into every test program: before any test runs, per-user settings go to an INI
// file in a folder of the run's own, on every system, never the registry or the real
// user's files.
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

namespace {

void keepSettingsApart()
{
    static QTemporaryDir folder;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    for (const QSettings::Format format : {QSettings::IniFormat, QSettings::NativeFormat})
        QSettings::setPath(format, QSettings::UserScope, folder.path());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(keepSettingsApart)
