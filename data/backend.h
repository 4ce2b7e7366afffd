#pragma once

// What a connection is backed by: the work database (work_database_backend.cpp) or a
// folder of Paradox tables (paradox_folder_backend.cpp). Internal to the data layer.

#include "data/paradox/table.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>

namespace data {

class DeferredDrops;
class InsertStatement;

// One open result: a position on a row, fields by index.
class Cursor
{
public:
    virtual ~Cursor() = default;
    virtual int fieldCount() const = 0;
    virtual QString fieldName(int index) const = 0;
    virtual int fieldType(int index) const = 0;
    virtual bool atEnd() const = 0;
    virtual std::int64_t recordCount() const = 0;
    virtual bool isNull(int index) const = 0;
    virtual QVariant value(int index) const = 0;
    virtual QString valueText(int index) const = 0;
    virtual void moveNext() = 0; // throws core::Error
    // Back to the first row; false for a cursor that reads its rows only once.
    virtual bool moveFirst() { return false; }
    virtual const paradox::TableInfo* sourceTable() const { return nullptr; }
    // The value as read from a Paradox table; null for a cursor on anything else.
    virtual const paradox::Value* paradoxValue(int /*index*/) const { return nullptr; }
};

struct CursorOptions
{
    int cursorType = 0;
    int lockType = 1;
};

class Backend
{
public:
    virtual ~Backend() = default;
    virtual void execute(const QString& sql, DeferredDrops* drops) = 0;
    virtual void execute(const InsertStatement& insert, DeferredDrops* drops);
    virtual std::unique_ptr<Cursor> query(const QString& sql, const CursorOptions& options) = 0;
    virtual std::unique_ptr<Cursor> tableList() = 0;
};

// Both throw core::Error when the location cannot be opened.
std::unique_ptr<Backend> openWorkDatabase(const QString& databaseFile);
std::unique_ptr<Backend> openParadoxFolder(const QString& folder);

} // namespace data
