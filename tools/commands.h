#pragma once

#include <QStringList>

// The commands of fieldwright-cli. Each takes the arguments after its own name, reads them with
// a CommandLine (tools/command_line.h) and returns the process's exit status: 0 done, 1 a
// failure that was reported (the table left as it was), 2 wrong usage, 3 abandoned.
namespace tools {

int runOperations(const QStringList& args);
int runSchema(const QStringList& args);
int runDump(const QStringList& args);
int runTables(const QStringList& args);
int runFields(const QStringList& args);
int runPreview(const QStringList& args);
int runClean(const QStringList& args);
int runBackups(const QStringList& args);
int runRestore(const QStringList& args);
int runHistory(const QStringList& args);
int runApply(const QStringList& args);
int runCheck(const QStringList& args);
int runValues(const QStringList& args);
int runClusters(const QStringList& args);
int runMerge(const QStringList& args);

// Writes to standard output / standard error as UTF-8.
void printOut(const QString& line);
void printErr(const QString& line);

} // namespace tools
