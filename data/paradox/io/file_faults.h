#pragma once

// Every operation that writes a table's files or their backups (create, write, flush,
// rename, remove, link, copy) asks here first. Nothing happens here in normal use; a test
// plans a fault so that the Nth such operation fails (as a full or broken disk would make it
// fail) or the process dies right there, and so tries every point of a write-back in turn.
// The plan can also come from the environment: FW_FAULT_AT=N fails the Nth operation,
// FW_FAULT_FROM=N it and every one after it, FW_KILL_AT=N kills the process at it. A test can also stop the
// process there (SIGSTOP), to do what another program might do at that instant before it goes on.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace paradox::io {

// False when this operation is to fail; errno is then the plan's error (EIO unless told).
// what and path name the operation in the record a test may keep (recordOperations).
bool mayProceed(const char* what = nullptr, const QString& path = {});

struct FaultPlan
{
    std::int64_t at = 0; // the operation to fail or die at, counted from 1; 0: none
    bool kills = false;
    bool pauses = false; // stops there, and then goes on as if nothing happened
    int error = 0; // the errno of the failure; 0: EIO
    bool lasts = false; // every operation from `at` on fails too, as on a disk that broke
};
void planFault(FaultPlan plan); // also restarts the count
// Whether a fault is planned or the operations are recorded: work that would run beside
// other file operations then runs in their order, so that the count means the same each time.
bool isFaultPlanned();
std::int64_t operationsSeen();
// Every named operation from now on is appended to log ("rename .T.1a2b3c4d.DB.tmp T.DB"),
// file names only; null stops the record.
void recordOperations(QStringList* log);

// The text of a system error of a file operation that failed; also kept as this thread's last
// failure, so that a caller handed only the message can still tell a full disk, a name too long
// or a broken disk (said plainly) from a fault of the program (reported).
QString failure(int error);
// The error failure() last kept on this thread, 0 when none; and forgets it.
int takeLastFailure();

} // namespace paradox::io
