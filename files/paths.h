#pragma once

// Path texts as the scan and the listing build them: a folder path ends with the
// platform's separator, and names are ordered the same way on every run.

#include <QString>
#include <filesystem>

namespace files {

// The platform's separator: "\" on Windows, "/" elsewhere.
QChar separator();

bool endsWithSeparator(const QString& path);

// path followed by one separator, unless it already ends with one.
QString withTrailingSeparator(const QString& path);

// path without its trailing separators; a root ("/") stays as it is.
QString withoutTrailingSeparator(const QString& path);

// The order of a folder listing: by name ignoring case, then by exact text so that
// "Data" and "data" keep the same order on every run.
bool isBeforeInListing(const QString& a, const QString& b);

// Conversions to and from the standard library's paths in the encoding of the platform's
// file names, so a name that is not valid Unicode still reaches the right file.
std::filesystem::path toFsPath(const QString& path);
QString fromFsPath(const std::filesystem::path& path);

} // namespace files
