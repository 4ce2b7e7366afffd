#include "files/folder_scan.h"

#include "core/procedure.h"
#include "files/paths.h"
#include "files/visited_folders.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace files {

namespace {

namespace fs = std::filesystem;

const QString kContext = u"Corvane2021/08/31.AddFolder.GetSubDirectories2016"_s;

// The two failures after which a folder is dropped from the list without a word.
constexpr int kPermissionDenied = 70;
constexpr int kPathNotFound = 76;

// A failure of the file system, with the number the scan sorts it by.
class FolderError : public core::Error
{
public:
    FolderError(int number, QString description)
        : core::Error(std::move(description))
        , m_number(number)
    { }
    int number() const { return m_number; }

private:
    int m_number;
};

int errorNumber(const std::error_code& error)
{
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        return kPermissionDenied;
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return kPathNotFound;
    return 0;
}

FolderError folderError(const QString& folder, const std::error_code& error)
{
    return FolderError(errorNumber(error),
        u"The folder "_s + folder + u" could not be read: "_s + QString::fromLocal8Bit(error.message()));
}

bool isRoot(const QString& folder)
{
    return QDir(folder).isRoot();
}

bool passes(const QString& folder)
{
    return passesAttributeRule(folderAttributes(folder), isRoot(folder));
}

// The names of folder's sub-folders (links to folders included), in listing order.
QStringList subFolderNames(const QString& folder)
{
    std::error_code error;
    QStringList names;
    for (fs::directory_iterator entry(toFsPath(folder), error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        std::error_code typeError; // a broken link is not a folder, and no fault of this one
        if (entry->is_directory(typeError))
            names.append(fromFsPath(entry->path().filename()));
    }
    if (error)
        throw folderError(folder, error);
    std::sort(names.begin(), names.end(), isBeforeInListing);
    return names;
}

struct Scan
{
    core::ErrorSink& errors;
    core::EventPump& events;
    VisitedFolders visited;
};

void appendSubFolders(const QString& folder, QStringList& found, Scan& scan)
{
    for (const QString& name : subFolderNames(folder)) {
        scan.events.processEvents();
        // "?" is among the unsafe characters; "." and ".." never come from the iterator.
        if (name.size() < kPathLimit && !HasUnsafeCharacters(name)) {
            const QString path = folder + name + separator();
            if (scan.visited.claim(path))
                found.append(path);
        }
    }
}

void scanLevel(QStringList& folders, bool recurse, Scan& scan)
{
    core::Procedure procedure(scan.errors, kContext);
    QStringList found;
    // Once the first folder is being listed, a failure no longer gets a report: the folder
    // is dropped when it cannot be read, and the scan goes on with the next one.
    bool isQuiet = false;
    // Unreadable folders are removed from folders while we walk it, so walk a copy.
    const QStringList level = folders;
    for (const QString& folder : level) {
        try {
            if (!(IsFolder(folder) && folder.size() < kPathLimit))
                continue;
            scan.events.processEvents();
            const bool isScanned
                = isQuiet ? passes(folder) : procedure.test(106, [&] { return passes(folder); });
            if (!isScanned)
                continue;
            isQuiet = true;
            appendSubFolders(folder, found, scan);
        } catch (const FolderError& e) {
            if (e.number() == kPermissionDenied || e.number() == kPathNotFound)
                folders.removeOne(folder);
        } catch (const std::exception&) { }
    }

    if (recurse && !found.isEmpty()) {
        try {
            scanLevel(found, recurse, scan);
        } catch (const std::exception&) { }
    }

    for (const QString& folder : std::as_const(found)) {
        scan.events.processEvents();
        if (procedure.test(114, [&] { return IsFolder(folder) && passes(folder); }))
            folders.append(folder);
    }
}

} // namespace

void GetSubDirectories2016(QStringList& folders, bool recurse, core::ErrorSink& errors, core::EventPump& events)
{
    Scan scan { errors, events, {} };
    for (const QString& folder : std::as_const(folders))
        scan.visited.claimWithAncestors(folder);
    scanLevel(folders, recurse, scan);
}

bool IsFolder(const QString& path)
{
    std::error_code error;
    return fs::is_directory(toFsPath(path), error);
}

bool HasUnsafeCharacters(const QString& name)
{
    for (const char32_t code : name.toUcs4()) {
        if (code < 32 || code == u'?' || (code >= 127 && code <= 159))
            return true;
    }
    return false;
}

bool passesAttributeRule(int attributes, bool isRoot)
{
    constexpr int kHiddenSystemFolder = kDirectoryAttribute | kSystemAttribute | kHiddenAttribute;
    return isRoot
        || (attributes != kHiddenSystemFolder
            && attributes != (kHiddenSystemFolder | kReparsePointAttribute));
}

int folderAttributes(const QString& folder)
{
    const QString path = withoutTrailingSeparator(folder);
    const fs::path fsPath = toFsPath(path);
    std::error_code error;
    const fs::file_status own = fs::symlink_status(fsPath, error);
    if (error)
        throw folderError(folder, error);
    int attributes = 0;
    if (fs::is_symlink(own)) {
        attributes |= kReparsePointAttribute;
        std::error_code targetError; // a broken link is simply not a folder
        if (fs::is_directory(fs::status(fsPath, targetError)))
            attributes |= kDirectoryAttribute;
    } else if (fs::is_directory(own)) {
        attributes |= kDirectoryAttribute;
    }
    if (QFileInfo(path).isHidden())
        attributes |= kHiddenAttribute;
    return attributes;
}

} // namespace files
