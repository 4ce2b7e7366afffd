#pragma once

// What the files of WorkTable share: its state.

#include "data/workdb/work_table.h"

#include <optional>

namespace data {

class WorkTable::Private
{
public:
    WorkDatabase* database = nullptr;
    QString name;
    QString quotedName;
    QString recordColumn;
    std::vector<WorkColumn> columns;
    std::vector<sqlite::Affinity> affinities;
    std::int64_t nextRecord = 0;

    // Held rows, kBatchRows at most; the values keep their memory from batch to batch.
    std::vector<paradox::Value> held;
    int heldRows = 0;
    sqlite::Statement insertOne;
    sqlite::Statement insertBatch;
    std::vector<QString> scratch;

    // The Paradox table the work table was copied from: the updates store only what its
    // fields can hold. Unknown for a table the copy did not make.
    std::optional<paradox::TableInfo> source;

    // The change run's snapshot and the updates waiting to be applied.
    sqlite::Statement readDistinct;
    sqlite::Statement noteUpdate;
    sqlite::Statement noteNullUpdate;
    int changedColumn = -1;
    std::int64_t distinctCount = 0;
    std::int64_t pendingUpdates = 0;
    bool hasPendingNullUpdate = false;
    bool hasChangedRows = false; // in this snapshot (temp.fw_changed holds them)
    // Of a text column, which is changed in place: one bit per record (numbered from 0 by the
    // copy), so that a run over millions of records holds a megabyte, not a set of them.
    std::vector<bool> changedInSnapshot;

    const std::shared_ptr<sqlite::Handle>& db() const { return database->handle(); }
    QString column(int index) const
    {
        return sqlite::quoted(columns.at(static_cast<std::size_t>(index)).name);
    }
    void prepareInserts();
    void bindRow(sqlite::Statement& statement, int firstParameter, std::size_t rowStart);
    void applyUpdates();
    // Fills temp.fw_distinct from a text column; false, with it still empty, for another column.
    bool snapshotDistinctTexts(int column);
    // Calls noteChanged for each record it changed, in record order.
    void applyTextUpdates(const std::function<void(std::int64_t record)>& noteChanged);
    const paradox::Field* sourceField(int column) const;
    struct Decision;
    Decision decide(const DistinctValue& from, const QString& to) const;
};

} // namespace data
