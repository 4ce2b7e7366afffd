#include "ui/settings_store.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// The store lives in the platform's usual place (on Linux $XDG_CONFIG_HOME/Vantorel/Fieldwright.conf).
QSettings openStore()
{
    return QSettings(u"Vantorel"_s, u"Fieldwright"_s);
}

QString keyInSection(const QString& key)
{
    return u"Fieldwright/"_s + key;
}

} // namespace

QString readSetting(const QString& key, const QString& fallback)
{
    return openStore().value(keyInSection(key), fallback).toString();
}

bool hasSetting(const QString& key)
{
    return openStore().contains(keyInSection(key));
}

void writeSetting(const QString& key, const QString& value)
{
    QSettings store = openStore();
    store.setValue(keyInSection(key), value);
    store.sync();
}

} // namespace ui
