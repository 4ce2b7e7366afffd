#pragma once

// The change run's two update forms, recognised so that the work database can run them
// through one prepared statement instead of compiling a new text for every value:
//
//     update T set F='new' where F='old'
//     update T set F='new' where F is null
//
// T and F are bare names or names in backquotes; the texts have their apostrophes doubled.

#include <QString>
#include <QStringView>
#include <optional>

namespace data {

struct UpdateStatement
{
    QString table;
    QString field;
    QString newText;
    QString oldText;
    bool isNullTest = false;
};

// The parts of an update of exactly one of the two forms; nullopt for anything else.
std::optional<UpdateStatement> parseUpdateStatement(QStringView sql);

} // namespace data
