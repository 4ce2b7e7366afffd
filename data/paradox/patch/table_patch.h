#pragma once

// The write-back that changes values in place: copies of a table's .DB (and .MB) in which
// only the changed values differ, left as temporary files for the caller to put in place.
//
// The .DB copy is the original byte for byte except each changed value's bytes in its own
// record slot: header, block layout, free blocks, counters, untouched records and fields all
// keep their bytes, whatever they hold, so a 3.x table stays 3.x. A memo or blob value that
// fits its field's leader is stored there; a longer one becomes new blocks at the end of the
// .MB copy, under the next modification number, and its old blocks are freed as the engine
// frees them. Other files of the table (.PX, .Xnn, .VAL, ...) are not touched: a change of a
// key field or of an indexed field leaves those stale, which the caller has to decide about.

#include "data/paradox/format/table.h"
#include "data/paradox/io/table_family.h"

#include <functional>
#include <utility>
#include <vector>

namespace paradox {

class TablePatch
{
public:
    virtual ~TablePatch() = default;

    virtual const TableInfo& info() const = 0;

    // Field `field` of record `record` becomes value. Records count from 0 in the order the
    // reader delivers them. The value is checked and encoded at once, and memo values that
    // outgrow their leader go into the .MB copy at once, so memory holds only the encoded
    // field bytes of each change, in any order. False with *error naming the table, the
    // record (counted from 1 there, as users count) and the field when the value does not
    // fit, the record or field does not exist or the slot was changed before: the patch has
    // then failed as a whole, its temporary files are gone and write() fails too.
    virtual bool change(std::int64_t record, int field, const Value& value, QString* error) = 0;

    // Writes the .DB copy and finishes the .MB copy: complete and flushed to the disk, as
    // hidden temporary files in the table's folder (.NAME.<random>.DB.tmp). On failure
    // nothing is left behind.
    virtual bool write(QString* error) = 0;

    // Changes handed over one at a time, in slot order: by record, a record's fields by field.
    class ChangeSource
    {
    public:
        virtual ~ChangeSource() = default;
        // The next change; false past the last. What it throws leaves the patch failed.
        virtual bool next(std::int64_t* record, int* field, Value* value) = 0;
    };
    // As change() for each change of source and then write(), but each value is checked,
    // encoded and written as the copy comes to its record, so that memory holds one change
    // at a time however many there are. count: how many there are, near enough (it chooses
    // how the file is copied). The same failures as change() and write(), and a change out
    // of slot order; a patch that was given changes one by one refuses it.
    virtual bool write(std::int64_t count, ChangeSource& source, QString* error) = 0;

    // Told, while the .DB copy is written, how far it is written from its start and the bytes
    // just written, as writer::TemporaryFile::follow tells it; to be set before write().
    virtual void followDbCopy(writer::TemporaryFile::Follower follower) = 0;

    virtual QString temporaryDbPath() const = 0;
    // Empty when no memo or blob value moved into or out of the .MB.
    virtual QString temporaryMbPath() const = 0;
    // What frees the old memo values in the new .MB, to be written into it in place once the
    // new .DB is: until then the old .DB still reads them.
    virtual std::vector<std::pair<std::uint64_t, QByteArray>> memoLaterWrites() const = 0;

    // The caller has moved the temporary files into place: keep them.
    virtual void release() = 0;
    // Removes the temporary files; dropping the patch without release() does the same.
    virtual void discard() = 0;
};

// Opens FILE.db's header (and finds its .mb) for a patch. Null with *error for a table that
// must not or cannot be patched: unreadable, password-protected, marked write-protected, or
// with memo fields but no memo file.
std::unique_ptr<TablePatch> openTablePatch(const QString& dbPath, QString* error);

} // namespace paradox
