// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/preferences.h"

#include <QSettings>

namespace qv7m::preferences {

bool readFlag(const QString& key, bool fallback) {
    const QVariant value =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"))
            .value(key);
    // Anything but a clear yes or no (hand-edited, say) keeps the default.
    if (!value.isValid()) return fallback;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
    if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
    return fallback;
}

void writeFlag(const QString& key, bool value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"));
    settings.setValue(key, value);
}

int readNumber(const QString& key, int fallback, int lowest, int highest) {
    bool ok = false;
    const int value =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"))
            .value(key)
            .toString()
            .trimmed()
            .toInt(&ok);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

void writeNumber(const QString& key, int value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"));
    settings.setValue(key, value);
}

QString readText(const QString& key) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"))
        .value(key)
        .toString();
}

void writeText(const QString& key, const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"));
    settings.setValue(key, value);
}

QByteArray readGeometry(const QString& key) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"))
        .value(key)
        .toByteArray();
}

void writeGeometry(const QString& key, const QByteArray& geometry) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qv7m"), QStringLiteral("qv7m"));
    settings.setValue(key, geometry);
}

}  // namespace qv7m::preferences
