#pragma once

#include <QSettings>
#include <QTemporaryDir>

// Per-user settings in a folder of the test's own, never the real user's: the INI file
// every test program keeps them in (TestSetup.cpp) moves here.
struct TempSettings
{
    TempSettings() { QSettings::setPath(QSettings::defaultFormat(), QSettings::UserScope, dir.path()); }
    bool isValid() const { return dir.isValid(); }

    QTemporaryDir dir;
};
