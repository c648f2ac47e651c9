#include "Settings.h"

#include <QSettings>

namespace quilla {

namespace {

QString settingKey(const QString &section, const QString &key)
{
    return section + u'/' + key;
}

} // namespace

bool writeSetting(const QString &application, const QString &section, const QString &key,
                  const QString &value)
{
    // The system's own store (the registry on Windows) unless the default was changed, as
    // the tests change it to keep their settings in a file of their own.
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, application);
    settings.setValue(settingKey(section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString readSetting(const QString &application, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, application);
    const QString name = settingKey(section, key);
    const QVariant stored = settings.value(name);
    if (!stored.isValid()) {
        settings.setValue(name, QString());
        return defaultValue;
    }
    const QString text = stored.toString();
    return text.isEmpty() ? defaultValue : text;
}

} // namespace quilla
