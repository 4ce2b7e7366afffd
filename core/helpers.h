#pragma once

#include "core/dialogs.h"

#include <QString>
#include <QVariant>
#include <functional>

namespace core {

// The default when the value is null, else the value unchanged.
QVariant ValueOrDefault(const QVariant& value, const QVariant& fallback);

// True when the date and time of the file or folder at path can be read; false on any
// error, an empty or missing path included.
bool FileExists(const QString& path);

// The clock the pause waits on: seconds since midnight, in single precision.
float secondsSinceMidnight();

// A busy wait of the given number of seconds on the seconds-since-midnight clock,
// letting the window system work meanwhile. The clock is a parameter so the
// midnight wrap can be tested.
void Pause(float seconds, EventPump& events, const std::function<float()>& clock = secondsSinceMidnight);

// The folder of the program's own files: Samples/, the empty work database and the look files
// (no trailing separator). It is the folder that holds the program file, except for a program
// installed as PREFIX/bin/NAME, whose own files are in PREFIX/share/fieldwright.
QString applicationFolder();

// True for an installed program's folder of own files (…/share/fieldwright): every user of the
// machine shares it, so no run writes there, whoever runs it.
bool isInstalledFolder(const QString& folder);

// The program's own folder among the user's data (…/Vantorel/Fieldwright), where backups
// and, when the program's folder cannot be written, the work database live. Found without
// HOME too (from the user database); throws core::Error when there is no such folder to find.
QString userDataFolder();

} // namespace core
