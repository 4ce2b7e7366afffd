#pragma once

// Applying a recipe to a folder: its steps in order, table by table. Each table is all or
// nothing: its steps run on a private copy of it, and only when every one of them ended
// "Done." do their changes replace the table, in one write-back with one backup (so one
// restore takes the whole recipe back on that table). A table whose step fails or is refused
// is left byte for byte as it was; the other tables go on.

#include "cleaning/recipes/recipe.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace cleaning::recipes {

struct StepOutcome
{
    int step = 0; // 1-based, as the recipe numbers its steps
    QString field;
    std::int64_t recordsChanged = 0; // by this step, after the steps before it
    std::int64_t valuesRejected = 0; // values whose new text the field cannot hold: left as they were
};

struct TableOutcome
{
    enum class State {
        Written, // the steps' changes are in the table; backupFolder keeps the old one
        Unchanged, // every step ended, and none changed a record: nothing was written
        Previewed, // a dry run: what each step would change, nothing written
        Failed, // a step failed or was refused: the table was left as it was
    };
    QString table;
    State state = State::Unchanged;
    QString problem; // Failed: which step, which field, and why
    bool isLeftAsItWas = true; // Failed: false when not every file could be put back (problem says which)
    std::vector<StepOutcome> steps;
    QStringList notes; // fields that a step for every table names but this table lacks
    QString backupFolder;
};

struct ApplyOptions
{
    bool isDryRun = false;
    QString applicationFolder; // where the work database is
    QString backupRoot; // empty: the default place
    // Called before each table's steps start, for a host that shows progress.
    std::function<void(const QString& table)> startingTable = {};
};

// The tables of folder (not of its sub-folders) by the names the table list gives them, sorted.
QStringList tablesOf(const QString& folder);

// Throws core::Error only when the folder cannot be read at all; everything about one table
// is in its outcome.
std::vector<TableOutcome> applyRecipe(
    const Recipe& recipe, const QString& folder, const ApplyOptions& options);

// One line per table: what happened to it, for people.
QString describeOutcome(const TableOutcome& outcome);

} // namespace cleaning::recipes
