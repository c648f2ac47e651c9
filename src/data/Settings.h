#pragma once

#include <QString>

namespace quilla {

// Per-user choices kept outside the draw database, addressed by application,
// section and key. The program uses the application name "Vantolo".
inline const QString SettingsApplication = QStringLiteral("Vantolo");

// True when stored.
bool writeSetting(const QString &application, const QString &section, const QString &key,
                  const QString &value);
// The stored text, or defaultValue when it is missing or empty. Reading a
// setting that does not exist leaves it behind, empty.
QString readSetting(const QString &application, const QString &section, const QString &key,
                    const QString &defaultValue);

} // namespace quilla
