#pragma once

#include <QString>

namespace ui {

// The per-user settings store: application "Vantorel", section "Fieldwright". Each call
// opens the store anew, so a write is on disk before the call returns.
inline constexpr char16_t kDatabaseKey[] = u"Database";
inline constexpr char16_t kLastFolderDotKey[] = u"LastFolderDot";

QString readSetting(const QString& key, const QString& fallback = QString());
bool hasSetting(const QString& key);
void writeSetting(const QString& key, const QString& value);

} // namespace ui
