#include "data/paradox_folder.h"

#include "core/error_report.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace data {
namespace {

class FieldValues : public core::ValueCursor
{
public:
    FieldValues(std::unique_ptr<paradox::TableReader> reader, int field)
        : m_reader(std::move(reader))
        , m_field(static_cast<std::size_t>(field))
    {
        read();
    }
    bool atEnd() const override { return m_isAtEnd; }
    bool isNull() const override { return paradox::isNull(current()); }
    QString text() const override { return paradox::valueText(current()); }
    void moveNext() override
    {
        current();
        read();
    }

private:
    const paradox::Value& current() const
    {
        if (m_isAtEnd)
            throw core::Error(u"There is no current record: the table has ended."_s);
        return m_row.at(m_field);
    }
    void read()
    {
        m_isAtEnd = !m_reader->readNext(m_row);
        if (m_isAtEnd && !m_reader->error().isEmpty())
            throw core::Error(m_reader->error());
    }

    std::unique_ptr<paradox::TableReader> m_reader;
    std::size_t m_field;
    paradox::Row m_row;
    bool m_isAtEnd = true;
};

} // namespace

void checkParadoxFolder(const QString& folder)
{
    if (folder.isEmpty())
        throw core::Error(u"No Paradox folder is given."_s);
    if (!QFileInfo(folder).isDir())
        throw core::Error(u"The Paradox folder %1 does not exist."_s.arg(QDir::toNativeSeparators(folder)));
}

void throwNoSuchTable(const QString& folder, const QString& table)
{
    checkParadoxFolder(folder);
    throw core::Error(
        u"The Paradox folder %1 has no table %2."_s.arg(QDir::toNativeSeparators(folder), table));
}

paradox::TablePlace paradoxTablePlace(const QString& folder, const QString& table)
{
    checkParadoxFolder(folder);
    paradox::TablePlace place = paradox::findTablePlace(folder, table);
    if (!place.isFound())
        throwNoSuchTable(folder, table);
    return place;
}

std::vector<paradox::TablePlace> paradoxTablePlaces(const QString& folder)
{
    checkParadoxFolder(folder);
    const QString canonical = paradox::canonicalFolder(folder);
    QStringList names;
    for (const QString& name :
        QDir(canonical).entryList({ u"*.db"_s }, QDir::Files | QDir::Readable, QDir::Name)) {
        if (!name.startsWith(u'~') && !name.startsWith(u'.'))
            names.append(name.left(name.size() - 3).toUpper());
    }
    names.removeDuplicates();
    names.sort();
    std::vector<paradox::TablePlace> places;
    for (const QString& name : std::as_const(names)) {
        paradox::TablePlace place = paradox::findTablePlace(canonical, name);
        if (place.isFound())
            places.push_back(std::move(place));
    }
    return places;
}

QString paradoxTableFile(const QString& folder, const QString& table)
{
    return paradoxTablePlace(folder, table).dbPath;
}

std::unique_ptr<paradox::TableReader> openTableAt(const paradox::TablePlace& place)
{
    QString error;
    // A write-back cut short is finished first, as a run finishes it: the reader then sees one
    // whole version of the table.
    finishInterruptedWriteBacks(place.realFolder());
    std::unique_ptr<paradox::TableReader> reader = paradox::openTable(place.dbPath, &error);
    if (!reader)
        throw core::Error(error);
    return reader;
}

std::unique_ptr<paradox::TableReader> openParadoxTable(const QString& folder, const QString& table)
{
    return openTableAt(paradoxTablePlace(folder, table));
}

std::vector<paradox::Field> tableFields(const QString& folder, const QString& table)
{
    return openParadoxTable(folder, table)->info().fields;
}

std::vector<paradox::Field> fieldsAt(const paradox::TablePlace& place)
{
    return openTableAt(place)->info().fields;
}

int fieldIndex(const paradox::TableInfo& info, const QString& table, const QString& field)
{
    for (std::size_t i = 0; i < info.fields.size(); ++i) {
        if (info.fields[i].name.compare(field, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    throw core::Error(u"The table %1 has no field %2."_s.arg(table, field));
}

std::unique_ptr<core::ValueCursor> paradoxFieldValues(
    const QString& folder, const QString& table, const QString& field)
{
    std::unique_ptr<paradox::TableReader> reader = openParadoxTable(folder, table);
    const int index = fieldIndex(reader->info(), table, field);
    return std::make_unique<FieldValues>(std::move(reader), index);
}

} // namespace data
