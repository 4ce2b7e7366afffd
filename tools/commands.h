#pragma once

#include <QStringList>

// The subcommands of fieldwright-cli. Each takes the arguments after its own name and
// returns the process's exit status: 0 success, 1 a failure that was reported, 2 a usage error.
namespace tools {

int runSchema(const QStringList& args);
int runDump(const QStringList& args);
int runTables(const QStringList& args);
int runFields(const QStringList& args);
int runPreview(const QStringList& args);
int runClean(const QStringList& args);
int runBackups(const QStringList& args);
int runRestore(const QStringList& args);
int runValues(const QStringList& args);
int runClusters(const QStringList& args);
int runMerge(const QStringList& args);

// Writes to standard output / standard error as UTF-8.
void printOut(const QString& line);
void printErr(const QString& line);

} // namespace tools
