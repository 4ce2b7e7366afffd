#pragma once

// The new files of a Paradox table after a run changed values of one of its fields, written
// as temporary files beside the table: a copy of the .DB with the changed values in their own
// record slots (and of the .MB, when memo values moved), or, when the field is part of the key
// or of an index, the table laid out again with its .PX and indexes rebuilt as the engine
// builds them. Nothing else of the table is written.

#include "data/replace/table_replace.h"
#include "data/workdb/work_table.h"

#include <functional>
#include <memory>

namespace data {

// Why a change cannot be written as the engine would write it (a key two records would share,
// a sort order this program cannot reproduce): nothing was written, and nothing went wrong.
struct RewriteRefusal
{
    QString reason;
};

class TableRewrite
{
public:
    // Writes the files; throws RewriteRefusal, or core::Error naming what could not be done,
    // and then leaves nothing in the folder. beforeWriting, when given, is called once the
    // change is found writable and there is something to write, before the files are written.
    TableRewrite(const QString& dbPath, const paradox::TableInfo& info, int field, WorkTable& work,
        int column, const std::function<void()>& beforeWriting = {});
    ~TableRewrite(); // removes the temporary files unless they were released
    TableRewrite(const TableRewrite&) = delete;
    TableRewrite& operator=(const TableRewrite&) = delete;

    const std::vector<FileMove>& moves() const { return m_moves; }
    std::int64_t recordsChanged() const { return m_recordsChanged; }
    // The files have been moved into place (or a journal will move them): keep them.
    void release();

private:
    struct Owner;
    std::unique_ptr<Owner> m_owner;
    std::vector<FileMove> m_moves;
    std::int64_t m_recordsChanged = 0;
};

} // namespace data
