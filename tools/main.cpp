#include "tools/commands.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>

namespace {

struct Command
{
    const char* name;
    int (*run)(const QStringList&);
    const char* usage;
};

constexpr Command kCommands[] = {
    { "schema", tools::runSchema, "schema FILE.db" },
    { "dump", tools::runDump, "dump FILE.db" },
    { "tables", tools::runTables, "tables FOLDER" },
    { "fields", tools::runFields, "fields FOLDER TABLE" },
    { "preview", tools::runPreview, "preview FOLDER TABLE FIELD" },
    { "clean", tools::runClean, "clean FOLDER TABLE FIELD OPERATION [--answer TEXT]... [--dry-run]" },
    { "backups", tools::runBackups, "backups FOLDER TABLE" },
    { "restore", tools::runRestore, "restore FOLDER TABLE [ID]" },
    { "merge", tools::runMerge, "merge FOLDER TABLE FIELD --into TEXT --value TEXT... | --clusters CSV" },
};

int usage()
{
    std::fputs("usage: fieldwright-cli COMMAND ARGUMENTS\ncommands:\n", stderr);
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty())
        return usage();
    const QString name = args.takeFirst();
    for (const Command& command : kCommands) {
        if (name == QLatin1StringView(command.name))
            return command.run(args);
    }
    return usage();
}
