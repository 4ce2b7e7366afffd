#pragma once

// Shared pieces of the writer tests: a scratch folder and writing a whole table in one call.

#include "data/paradox/paradox.h"
#include "tests/support/print_qt.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>
#include <type_traits>
#include <variant>

using namespace Qt::StringLiterals;

namespace paradox {
inline void PrintTo(const Value& value, std::ostream* os)
{
    std::visit(
        [os](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Null>)
                *os << "null";
            else if constexpr (std::is_same_v<T, QString>)
                *os << '"' << v.toStdString() << '"';
            else if constexpr (std::is_same_v<T, QByteArray>)
                *os << "0x" << v.toHex().toStdString();
            else if constexpr (std::is_same_v<T, Date>)
                *os << "day " << v.days;
            else if constexpr (std::is_same_v<T, TimeOfDay> || std::is_same_v<T, Timestamp>)
                *os << v.msecs << " ms";
            else if constexpr (std::is_same_v<T, Bcd>)
                *os << "bcd " << v.decimal.toStdString();
            else
                *os << v;
        },
        value);
}
} // namespace paradox

namespace writertest {

inline paradox::NewTable newTable(
    const QString& folder, const QString& name, std::vector<paradox::Field> fields)
{
    paradox::NewTable table;
    table.folder = folder;
    table.name = name;
    table.fields = std::move(fields);
    return table;
}

// Writes and commits; the returned text is empty on success, else the first error.
inline QString writeTable(const paradox::NewTable& table, const std::vector<paradox::Row>& rows,
    const QString& backupFolder = QString())
{
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        return error;
    for (const paradox::Row& row : rows) {
        if (!writer->append(row, &error))
            return error;
    }
    if (!writer->commit(backupFolder, &error))
        return error;
    return QString();
}

inline QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace writertest
