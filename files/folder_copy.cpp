#include "files/folder_copy.h"

#include "core/error_report.h"
#include "files/paths.h"
#include "files/visited_folders.h"

#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace files {

namespace {

namespace fs = std::filesystem;

QString reason(const std::error_code& error)
{
    return QString::fromLocal8Bit(error.message());
}

void copyTree(const fs::path& source, const fs::path& target, VisitedFolders& visited)
{
    std::error_code error;
    for (fs::directory_iterator entry(source, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        const fs::path from = entry->path();
        const fs::path to = target / from.filename();
        std::error_code typeError;
        const fs::file_status status = fs::status(from, typeError);
        if (fs::is_directory(status)) {
            if (!visited.claim(fromFsPath(from)))
                continue;
            std::error_code createError;
            fs::create_directory(to, createError);
            if (createError)
                throw core::Error(
                    u"Could not create the folder "_s + fromFsPath(to) + u": "_s + reason(createError));
            copyTree(from, to, visited);
        } else if (fs::is_regular_file(status)) {
            std::error_code copyError;
            fs::copy_file(from, to, fs::copy_options::overwrite_existing, copyError);
            if (copyError)
                throw core::Error(u"Could not copy "_s + fromFsPath(from) + u" to "_s + fromFsPath(to)
                    + u": "_s + reason(copyError));
        }
    }
    if (error)
        throw core::Error(u"Could not read the folder "_s + fromFsPath(source) + u": "_s + reason(error));
}

} // namespace

void createFolder(const QString& folder)
{
    std::error_code error;
    if (!fs::create_directory(toFsPath(folder), error) && !error)
        error = std::make_error_code(std::errc::file_exists);
    if (error)
        throw core::Error(u"Could not create the folder "_s + folder + u": "_s + reason(error));
}

void copyFolderContents(const QString& source, const QString& target)
{
    std::error_code error;
    if (fs::equivalent(toFsPath(source), toFsPath(target), error))
        throw core::Error(u"The folder "_s + source + u" cannot be copied into itself."_s);
    VisitedFolders visited;
    visited.claimWithAncestors(source);
    visited.claim(target);
    copyTree(toFsPath(source), toFsPath(target), visited);
}

} // namespace files
