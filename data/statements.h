#pragma once

// The statement texts the numbered steps stand for, built here and nowhere else. The steps
// make typed calls; these texts describe them to a statement observer and in error reports.
// Apostrophes in values are doubled; names are never escaped (safe_names.h refuses the ones
// that would end their delimiters early).

#include "data/paradox/paradox.h"

#include <QString>
#include <functional>
#include <span>

namespace data {

// The copy into the work database.
QString copyDropStatement(const QString& table); // DROP TABLE `T`
QString copyReadStatement(const QString& table); // SELECT * FROM `T`
// CREATE TABLE `T`(`a` TEXT,`b` INT);
QString copyCreateStatement(const QString& table, const std::vector<paradox::Field>& fields);
// The declared type of a field's column, from its lower-cased type name: "TEXT" for "advarchar".
QString columnTypeOf(const paradox::Field& field);
// The text after the field name in the create statement, e.g. "` TEXT," for "advarchar".
QString columnTypeText(const QString& lowerTypeName);
// INSERT INTO `T` VALUES('a', NULL, 'O''Brien'): an empty or null value is NULL.
QString copyInsertStatement(const QString& table, std::span<const paradox::Value> row);

// The change run.
QString distinctQuery(const QString& table, const QString& field);
QString previewQuery(const QString& table, const QString& field);
QString updateValueStatement(
    const QString& table, const QString& field, const QString& newText, const QString& oldText);
QString updateNullStatement(const QString& table, const QString& field, const QString& newText);
// A table or field name as the update statements write it: bare when it is a plain
// identifier, in backquotes when the work database would need delimiters to read it.
QString nameForUpdate(const QString& name);

// The write-back.
QString paradoxDropStatement(const QString& table); // DROP TABLE `T`
QString workReadStatement(const QString& table); // select * from [T]
QString exportStatement(std::int64_t rowCount, const QString& targetFolder, const QString& table);
QString workDropStatement(const QString& table); // DROP TABLE [T]

// Sees the text of every statement a step sends to the work database, before the step runs.
// Process-wide, for tests and diagnostics; an empty function removes it. Without
// withRepeatedStatements the statements sent once per record (the copy's inserts) or once per
// distinct value (a change's updates) are not shown, and their texts are never built.
using StatementObserver = std::function<void(const QString& sql)>;
void setStatementObserver(StatementObserver observer, bool withRepeatedStatements = true);
void notifyWorkStatement(const QString& sql);
bool isObservingRepeatedStatements();

} // namespace data
