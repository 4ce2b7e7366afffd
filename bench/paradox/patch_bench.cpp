// The patch write-back against a plain cp of the same file, in the same run: an 8-field
// table (Long, two Alpha, Number, Short, Date, Alpha 80, Logical) in which every tenth
// record gets a new Name.
//
//   patch_bench [ROWS] [ROUNDS]   (defaults 1000000, 3)
//
// Rounds alternate cp and patch, and each keeps its best wall time: the machine is shared.
// The patch runs in a child process, so that its peak resident memory (from wait4) is its
// own. cp leaves its copy in the page cache; the patch flushes its files to the disk, so cp
// followed by a sync of the copy is shown as well.

#include "bench/paradox/bench_fields.h"
#include "data/paradox/patch/table_patch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

namespace {

const std::vector<Field>& kFields = bench::benchFields();

bool writeTable(const QString& folder, std::int64_t rows)
{
    paradox::NewTable table;
    table.folder = folder;
    table.name = u"BIG"_s;
    table.fields = kFields;
    QString error;
    auto writer = paradox::createTable(table, &error);
    paradox::Row row(kFields.size());
    for (std::int64_t i = 0; writer && i < rows; ++i) {
        row[0] = static_cast<std::int32_t>(i + 1);
        row[1] = u"Customer %1"_s.arg(i % 100'000);
        row[2] = u"Graz"_s;
        row[3] = static_cast<double>(i % 10'000) / 4.0;
        row[4] = static_cast<std::int32_t>(i % 30'000);
        row[5] = paradox::Date { 700'000 + static_cast<std::int32_t>(i % 30'000) };
        row[6] = u"Notes for row %1, with some text to fill the field"_s.arg(i);
        row[7] = i % 3 != 0;
        if (!writer->append(row, &error))
            break;
    }
    if (writer && writer->commit(QString(), &error))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return false;
}

double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double runCp(const QString& from, const QString& to, bool isSynced)
{
    QFile::remove(to);
    const std::string command = "cp '" + from.toStdString() + "' '" + to.toStdString() + "'"
        + (isSynced ? " && sync '" + to.toStdString() + "'" : "");
    QElapsedTimer timer;
    timer.start();
    if (std::system(command.c_str()) != 0)
        return -1;
    const double elapsed = seconds(timer);
    QFile::remove(to);
    return elapsed;
}

struct PatchRun
{
    double seconds = -1;
    double peakMb = 0;
};

// In a child process: open, 10% of the records changed, write, discard.
PatchRun runPatch(const QString& dbPath, std::int64_t rows)
{
    std::fflush(stdout);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        // The texts come ready, as from the work database; making them is not the patch's work.
        std::vector<QString> names;
        for (std::int64_t record = 0; record < rows; record += 10)
            names.push_back(u"Changed customer %1"_s.arg(record));
        QElapsedTimer timer;
        timer.start();
        QString error;
        auto patch = paradox::openTablePatch(dbPath, &error);
        for (std::int64_t record = 0; patch && record < rows; record += 10) {
            if (!patch->change(record, 1, names[static_cast<std::size_t>(record / 10)], &error))
                patch.reset();
        }
        double elapsed = -1;
        if (patch && patch->write(&error))
            elapsed = seconds(timer);
        else
            std::fprintf(stderr, "%s\n", qPrintable(error));
        if (patch)
            patch->discard(); // _exit runs no destructors
        const bool isSent = write(pipeFds[1], &elapsed, sizeof elapsed) == sizeof elapsed;
        _exit(isSent ? 0 : 1);
    }
    close(pipeFds[1]);
    PatchRun run;
    if (read(pipeFds[0], &run.seconds, sizeof run.seconds) != sizeof run.seconds)
        run.seconds = -1;
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir(QDir::currentPath() + u"/patch_bench_XXXXXX"_s);
    if (!dir.isValid() || !writeTable(dir.path(), rows))
        return 1;
    const QString dbPath = dir.filePath(u"BIG.DB"_s);
    const QString copyPath = dir.filePath(u"copy.db"_s);
    std::printf("table: %lld records, %.1f MB; %lld changes\n", static_cast<long long>(rows),
        static_cast<double>(QFileInfo(dbPath).size()) / 1e6, static_cast<long long>((rows + 9) / 10));
    double bestCp = 1e9;
    double bestCpSync = 1e9;
    double bestPatch = 1e9;
    double peakMb = 0;
    for (int round = 0; round < rounds; ++round) {
        bestCp = std::min(bestCp, runCp(dbPath, copyPath, false));
        bestCpSync = std::min(bestCpSync, runCp(dbPath, copyPath, true));
        const PatchRun patch = runPatch(dbPath, rows);
        if (patch.seconds < 0)
            return 1;
        bestPatch = std::min(bestPatch, patch.seconds);
        peakMb = std::max(peakMb, patch.peakMb);
    }
    std::printf("cp                %8.3f s\n", bestCp);
    std::printf("cp + sync         %8.3f s\n", bestCpSync);
    std::printf(
        "patch (flushed)   %8.3f s   %.2f x cp   peak RSS %.1f MB\n", bestPatch, bestPatch / bestCp, peakMb);
    return 0;
}
