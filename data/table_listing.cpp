#include "data/table_listing.h"

#include "core/procedure.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/safe_names.h"
#include "files/file_listing.h"
#include "files/folder_scan.h"
#include "files/paths.h"

using namespace Qt::StringLiterals;

namespace data {

namespace {

// Upper case one character at a time. The full mapping would turn "ß" into "SS" and the
// name would no longer lead back to its file.
QString upperCased(const QString& name)
{
    QList<uint> codes = name.toUcs4();
    for (uint& code : codes)
        code = QChar::toUpper(code);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()), codes.size());
}

} // namespace

void AddTablesToParadoxListbox(
    TableList& list, const core::FolderBox& folderBox, core::ErrorSink& errors, core::EventPump& events)
{
    core::Procedure procedure(errors, u"Tidewell2021/08/31.Paradox.AddTablesToParadoxListbox"_s);
    const QChar separator = files::separator();
    QString paradoxFolder;
    procedure.step(100, [&] { paradoxFolder = folderBox.text(); });
    procedure.step(102, [&] { list.clear(); });
    if (procedure.test(104, [&] { return paradoxFolder.isEmpty(); }))
        return;
    QStringList folders;
    procedure.step(106, [&] { folders = QStringList { paradoxFolder + separator }; });
    procedure.step(108, [&] { files::GetSubDirectories2016(folders, true, errors, events); });
    for (const QString& listed : std::as_const(folders)) {
        QString folder = listed;
        procedure.step(112, [&] { folder.chop(1); });
        QStringList fileNames;
        try {
            finishInterruptedWriteBacks(folder); // the tables listed are whole
        } catch (const core::Error&) {
            // Only what a run would finish; the listing goes on without it.
        }
        procedure.step(114, [&] { fileNames = files::ListFiles(folder, u"*.db"_s); });
        for (const QString& fileName : std::as_const(fileNames)) {
            // A name starting with "~" marks a temporary file, not a table; a name no list
            // shows whole, or that would not lead back to its file, is not offered either.
            if (!procedure.test(
                    118, [&] { return !fileName.startsWith(u'~') && isListableTableName(fileName); }))
                continue;
            QString name;
            procedure.step(120, [&] { name = folder + separator + fileName; });
            procedure.step(122, [&] { name = FileNameOfPath(name); });
            procedure.step(124, [&] { name = upperCased(name); });
            procedure.step(126, [&] { name.remove(u".DB"_s, Qt::CaseSensitive); });
            procedure.step(128, [&] { list.addFromFolder(name, folder); });
        }
    }
}

QString FileNameOfPath(const QString& path)
{
    return path.mid(path.lastIndexOf(files::separator()) + 1);
}

} // namespace data
