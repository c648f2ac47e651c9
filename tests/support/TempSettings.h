#pragma once

#include <QSettings>
#include <QTemporaryDir>

// Per-user settings in a folder of the test's own, never the real user's.
struct TempSettings
{
    TempSettings() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); }
    bool isValid() const { return dir.isValid(); }

    QTemporaryDir dir;
};
