#include "data/paradox/io/find_table.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Extensions of the files that belong to a table. Lock files (.LCK) are left out on
// purpose: they may belong to a program that has the table open, and deleting or moving
// them would take its lock away.
bool isFamilyExtension(QStringView extension)
{
    static const QRegularExpression pattern(
        u"^(DB|MB|PX|[XY][0-9A-F]{2}|[XY]G[0-9A-F]|VAL|TVF?|FAM|SET|[FR]([1-9]|1[0-4])?)$"_s,
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(extension).hasMatch();
}

bool isDataExtension(QStringView extension)
{
    return extension.compare(u"db"_s, Qt::CaseInsensitive) == 0;
}

// A file name split at its last dot ("CUST.X01": base CUST, extension X01).
struct FileName
{
    QString name;
    qsizetype dot = -1;

    explicit FileName(const QString& fileName)
        : name(fileName)
        , dot(fileName.lastIndexOf(u'.'))
    { }

    QStringView base() const { return dot < 0 ? QStringView(name) : QStringView(name).left(dot); }
    QStringView extension() const { return dot < 0 ? QStringView() : QStringView(name).mid(dot + 1); }
};

// The files of a folder and the tables among them.
class FolderNames
{
public:
    explicit FolderNames(const QString& folder)
    {
        // In code-unit order, whatever the locale: of orders.db and ORDERS.DB the same one
        // comes first on every system.
        QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
        std::sort(entries.begin(), entries.end());
        m_files.reserve(entries.size());
        for (const QString& entry : entries) {
            m_files.emplace_back(entry);
            if (isDataExtension(m_files.back().extension()))
                m_tables.push_back(m_files.back().base().toString());
        }
    }

    const std::vector<FileName>& files() const { return m_files; }

    // The table a file with this base name belongs to: the one whose .DB bears exactly that
    // name, else the only one whose name differs from it just in case. Empty when there is
    // no such table, or several.
    QString ownerOf(QStringView base) const
    {
        if (std::find(m_tables.begin(), m_tables.end(), base) != m_tables.end())
            return base.toString();
        QString owner;
        for (const QString& table : m_tables) {
            if (table.compare(base, Qt::CaseInsensitive) != 0 || table == owner)
                continue; // (X.DB and X.db are one table)
            if (!owner.isNull())
                return QString();
            owner = table;
        }
        return owner;
    }

    // Whether a file with this base name may be taken for table `table`'s: no other table
    // can claim it.
    bool mayBelongTo(QStringView base, QStringView table) const
    {
        if (const QString owner = ownerOf(base); !owner.isEmpty())
            return owner == table;
        return std::none_of(m_tables.begin(), m_tables.end(),
            [&](const QString& other) { return other.compare(base, Qt::CaseInsensitive) == 0; });
    }

private:
    std::vector<FileName> m_files;
    std::vector<QString> m_tables; // base names of the .DB files
};

} // namespace

QString findFileIgnoringCase(const QString& folder, const QString& fileName)
{
    const QDir dir(folder);
    if (QFileInfo(dir.filePath(fileName)).isFile())
        return dir.filePath(fileName);
    const FileName wanted(fileName);
    const FolderNames names(folder);
    const FileName* sameBase = nullptr;
    const FileName* otherCase = nullptr;
    for (const FileName& file : names.files()) {
        if (file.name.compare(fileName, Qt::CaseInsensitive) != 0)
            continue;
        if (file.base() == wanted.base()) {
            sameBase = &file;
            break;
        }
        // A table's .DB is found in any case; any other file only when it is no other table's.
        const bool mayTake
            = isDataExtension(wanted.extension()) || names.mayBelongTo(file.base(), wanted.base());
        if (!otherCase && mayTake)
            otherCase = &file;
    }
    const FileName* found = sameBase ? sameBase : otherCase;
    return found ? dir.filePath(found->name) : QString();
}

QString findTableFile(const QString& folder, const QString& name)
{
    // A table name is a plain file name; one with a path in it would look outside the folder.
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\'))
        return {};
    const bool hasExtension = name.endsWith(u".db"_s, Qt::CaseInsensitive);
    return findFileIgnoringCase(folder, hasExtension ? name : name + u".db"_s);
}

namespace {

template <typename Belongs>
std::vector<QString> familyFiles(const QString& folder, const QString& name, Belongs belongs)
{
    std::vector<QString> paths;
    if (name.isEmpty())
        return paths;
    const QDir dir(folder);
    const FolderNames names(folder);
    for (const FileName& file : names.files()) {
        if (file.dot >= 0 && isFamilyExtension(file.extension()) && belongs(names, file.base()))
            paths.push_back(dir.absoluteFilePath(file.name));
    }
    return paths;
}

} // namespace

std::vector<QString> tableFamily(const QString& folder, const QString& name)
{
    return familyFiles(folder, name, [&](const FolderNames& names, QStringView base) {
        return base == name || names.ownerOf(base) == name;
    });
}

std::vector<QString> filesNamedLike(const QString& folder, const QString& name)
{
    return familyFiles(folder, name,
        [&](const FolderNames&, QStringView base) { return base.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace paradox
