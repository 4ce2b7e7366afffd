#include "data/copy_db.h"

#include "core/helpers.h"
#include "core/procedure.h"
#include "files/folder_copy.h"
#include "files/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

using namespace Qt::StringLiterals;

namespace data {

namespace {

// Only spaces count, as in the question's promise of "a folder without spaces".
QString trimmedOfSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

bool isFolder(const QString& path)
{
    return QFileInfo(path).isDir();
}

} // namespace

QString AppDriveRoot()
{
#ifdef Q_OS_WIN
    const QString root = QStorageInfo(core::applicationFolder()).rootPath();
#else
    const QString root = QDir::homePath();
#endif
    return files::withTrailingSeparator(QDir::toNativeSeparators(root));
}

CopyDbOutcome CopyDB(
    bool isSample, core::FolderBox& folderBox, core::Dialogs& dialogs, const QString& driveRoot)
{
    core::Procedure procedure(dialogs, u"Tidewell2021/08/31.Paradox.CopyDB"_s);
    if (procedure.test(100, [&] { return !trimmedOfSpaces(folderBox.text()).contains(u' '); }))
        return CopyDbOutcome::NoSpace;
    QString kind;
    procedure.step(102, [&] { kind = isSample ? u"sample"_s : u"Your"_s; });
    QString target;
    procedure.step(108, [&] { target = driveRoot + u"TestDB"_s; });
    const bool isDeclined = procedure.test(110, [&] {
        return !dialogs.askYesNo(u"In some cases the software needs to use a folder without spaces.\r\n"_s
            + u"Is it OK to create the folder "_s + target + u" and put "_s + kind + u" db files in it?"_s);
    });
    if (isDeclined)
        return CopyDbOutcome::Declined;
    if (procedure.test(114, [&] { return !isFolder(target); }))
        procedure.step(116, [&] { files::createFolder(target); });
    bool isCopied = false;
    if (procedure.test(118, [&] { return isFolder(target); }))
        isCopied = procedure.step(120, [&] { files::copyFolderContents(folderBox.text(), target); });
    // After a failed copy TestDB may hold some other, older database: switching to it
    // would have the user clean tables that are not theirs.
    if (isCopied)
        procedure.step(122, [&] { folderBox.setText(target); });
    return isCopied ? CopyDbOutcome::Copied : CopyDbOutcome::NotCopied;
}

} // namespace data
