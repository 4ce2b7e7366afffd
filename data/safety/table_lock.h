#pragma once

// One writer per table. A run holds its table's claim from before its copy to after its
// write-back, and a restore holds it while it works: no other run or restore of this program
// writes the table meanwhile, whatever installation, work database or user it comes from.
//
// The claim is an open-file-description lock on one byte of the table's .DB far past its
// end: every copy of the program sees it, no Paradox program locks that byte (and the check
// for other programs' locks leaves it out), and the system drops it when its holder dies.
// When a write-back puts a new .DB in place, the claim passes to that file before the rename.

#include "data/paradox/io/table_place.h"

#include <QString>

#include <memory>
#include <sys/types.h>

namespace data {

// The byte of a .DB that the claim locks.
inline constexpr off_t kTableClaimByte = off_t { 1 } << 62;

class TableLock
{
public:
    // Claims the table whose .DB is dbPath, at once or not at all. A table that is missing or
    // cannot be opened for writing is not claimed and no problem: the checks before writing
    // refuse it with their own message. A claim this process holds already is shared.
    explicit TableLock(const QString& dbPath);
    // The table found at place; one not found is not claimed.
    explicit TableLock(const paradox::TablePlace& place);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    // Why the table is not claimed (another run or restore holds it), or the empty text.
    const QString& problem() const { return m_problem; }

    // Whether a run or restore holds the claim of the table whose .DB is dbPath right now,
    // without claiming it: its temporary files are then being written and are not leftovers.
    static bool isClaimed(const QString& dbPath);

    // newFile is about to be renamed over target: when this process claims target, the claim
    // covers newFile too, so that it holds across the rename. Best effort: without it only
    // the moment after the rename is open to another run.
    static void coverReplacement(const QString& target, const QString& newFile);

    struct Claim; // the descriptors that hold the lock, shared by this process's holders

private:
    std::shared_ptr<Claim> m_claim;
    QString m_problem;
};

} // namespace data
