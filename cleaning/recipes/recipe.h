#pragma once

// A recipe: cleaning steps written down so that they can be done again, on many fields and
// tables, on this folder or on next month's copy of it. A plain value, read from and written
// to a small versioned JSON document (the README shows one).

#include "cleaning/operation_catalogue.h"
#include "cleaning/run_request.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace paradox {
struct Field;
}
namespace data {
struct HistoryEntry;
}

namespace cleaning::recipes {

inline constexpr int kRecipeVersion = 1;

// Which fields of a table a step cleans.
struct FieldSet
{
    enum class Kind { Named, Every, EveryAlpha, EveryText };
    Kind kind = Kind::Named;
    QStringList names; // Named: the fields, as the field list names them

    // The fields of a table this set takes, in the table's order; `missing` gets the named
    // fields the table lacks.
    QStringList pick(const std::vector<paradox::Field>& fields, QStringList* missing) const;
    QString describe() const;
};

struct RecipeStep
{
    QString table; // a table as `tables` prints it, or "*" for every table of the folder
    FieldSet fields;
    const Operation* operation = nullptr; // null for a merge
    QStringList answers; // one per prompt, as typed
    QList<MergeRequest> merges; // a merge step: these values into one, instead of an operation
    RecordLimit limit; // only the records whose value this takes in

    bool isMerge() const { return !merges.isEmpty(); }
    QString describe() const; // the operation's caption, or what the merge merges

    bool isForEveryTable() const { return table == u"*"; }
    bool takesTable(const QString& name) const;
};

struct Recipe
{
    std::vector<RecipeStep> steps;
};

// The recipe in a JSON document, or a message saying what is wrong with it (an unknown
// version or operation, answers that do not fit the operation's prompts, ...). Nothing is
// guessed: a recipe that would run differently from what it says is refused.
struct ParsedRecipe
{
    Recipe recipe;
    QString problem;
};
ParsedRecipe parseRecipe(const QByteArray& json);
ParsedRecipe readRecipeFile(const QString& path);

QByteArray recipeJson(const Recipe& recipe);
QJsonObject stepJson(const RecipeStep& step);

// The step that an entry of the history stands for, as a recipe writes it; empty for a restore
// or an operation this program no longer has: no step to repeat.
QJsonObject historyStep(const data::HistoryEntry& entry);

// The answers as parameters of the step's operation.
Parameters stepParameters(const RecipeStep& step);

} // namespace cleaning::recipes
