// The folder scan and the whole table listing on a tree of 10,000 folders and 50,000 files:
// 100 folders of 99 sub-folders each, every folder holding 2 tables (.db) and 3 other files.
//
//   table_listing_bench [ROUNDS]        (default 3; the tree is built once)

#include "data/table_listing.h"
#include "files/folder_scan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kTopFolders = 100;
constexpr int kSubFolders = 99;

struct CountingErrors : core::ErrorSink
{
    int reports = 0;
    void showErrorReport(const QString&) override { ++reports; }
};

struct CountingEvents : core::EventPump
{
    long long calls = 0;
    void processEvents() override { ++calls; }
};

void fillFolder(const QString& folder, int& files)
{
    for (const QString& name :
        { u"Orders.db"_s, u"Customer.DB"_s, u"Orders.px"_s, u"Orders.mb"_s, u"notes.txt"_s }) {
        QFile file(folder + u'/' + name);
        if (file.open(QIODevice::WriteOnly))
            ++files;
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Processor time (user and system) of this process, in ms: on a busy machine a steadier
// figure than the wall clock.
double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

long peakMemoryKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir root;
    int folders = 0;
    int files = 0;
    QElapsedTimer timer;
    timer.start();
    for (int top = 0; top < kTopFolders; ++top) {
        const QString topFolder = root.path() + u"/folder"_s + QString::number(top);
        QDir().mkpath(topFolder);
        fillFolder(topFolder, files);
        ++folders;
        for (int sub = 0; sub < kSubFolders; ++sub) {
            const QString subFolder = topFolder + u"/sub"_s + QString::number(sub);
            QDir().mkpath(subFolder);
            fillFolder(subFolder, files);
            ++folders;
        }
    }
    std::printf("tree: %d folders, %d files, built in %.1f s\n", folders, files, timer.elapsed() / 1000.0);

    std::vector<double> scanTimes;
    std::vector<double> scanCpu;
    std::vector<double> listingTimes;
    std::vector<double> listingCpu;
    int tables = 0;
    long long folderCount = 0;
    for (int round = 0; round < rounds; ++round) {
        CountingErrors errors;
        CountingEvents events;
        QStringList scanned { root.path() + u'/' };
        timer.restart();
        double cpu = cpuMs();
        files::GetSubDirectories2016(scanned, true, errors, events);
        scanTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        scanCpu.push_back(cpuMs() - cpu);
        folderCount = scanned.size();

        data::TableNames list;
        const core::PlainFolderBox folderBox(root.path());
        timer.restart();
        cpu = cpuMs();
        data::AddTablesToParadoxListbox(list, folderBox, errors, events);
        listingTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        listingCpu.push_back(cpuMs() - cpu);
        tables = list.count();
        if (errors.reports != 0)
            std::printf("round %d: %d error reports\n", round, errors.reports);
    }
    std::printf("scan:    %lld folders found, median %.0f ms (%.0f ms processor) over %d rounds\n",
        folderCount, median(scanTimes), median(scanCpu), rounds);
    std::printf(
        "listing: %d tables listed, median %.0f ms (%.0f ms processor) over %d rounds, scan included\n",
        tables, median(listingTimes), median(listingCpu), rounds);
    std::printf("peak memory: %ld MB\n", peakMemoryKb() / 1024);
    return 0;
}
