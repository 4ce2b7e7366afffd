// The values list and the clustering of a field on a 1,000,000-record table with 100,000
// distinct values (variants planted as in the tests), each against a plain read of the
// same table by our own Paradox code; and the peak memory of the clusters command. The
// table has the 8 fields of the other benchmarks, Name holding the planted values.
//
//   values_bench [RECORDS [DISTINCT]]        (default 1000000 100000)

#include "bench/paradox/bench_fields.h"
#include "bench/processor_time.h"
#include "cleaning/values/clusters.h"
#include "cleaning/values/value_counts.h"
#include "data/paradox/paradox.h"
#include "tests/cleaning/values/planted_values.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace cleaning::values;

namespace {

constexpr int kRounds = 3;

// Empty on success, else what went wrong.
QString writeTable(const QString& folder, const planted::Field& field)
{
    std::vector<std::uint32_t> order;
    for (std::size_t value = 0; value < field.values.size(); ++value)
        order.insert(
            order.end(), static_cast<std::size_t>(field.records[value]), static_cast<std::uint32_t>(value));
    planted::Random random(7);
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
    paradox::NewTable table;
    table.folder = folder;
    table.name = u"BENCH"_s;
    table.fields = bench::benchFields();
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        return error;
    paradox::Row row(table.fields.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto n = static_cast<int>(i);
        row[0] = std::int32_t(n + 1);
        row[1] = field.values[order[i]];
        row[2] = (n % 3 == 0) ? paradox::Value(paradox::Null {})
                              : paradox::Value(u"City "_s + QString::number(n % 50));
        row[3] = n * 0.25;
        row[4] = std::int32_t(n % 30000);
        row[5] = paradox::Date { 730000 + n % 5000 };
        row[6] = u"A remark of some length for row "_s + QString::number(n);
        row[7] = (n % 2) == 0;
        if (!writer->append(row, &error))
            return error;
    }
    return writer->commit(QString(), &error) ? QString() : error;
}

double plainRead(const QString& folder)
{
    const double start = bench::processorSeconds();
    QString error;
    auto reader = paradox::openTable(paradox::findTableFile(folder, u"BENCH"_s), &error);
    paradox::Row row;
    std::int64_t records = 0;
    while (reader->readNext(row))
        ++records;
    if (!reader->error().isEmpty() || records == 0)
        std::fprintf(stderr, "plain read: %s\n", qPrintable(reader->error()));
    return bench::processorSeconds() - start;
}

// The best of kRounds, so that a busy neighbour on a shared machine counts less.
template <typename Work> double best(Work work)
{
    double fastest = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const double start = bench::processorSeconds();
        work();
        fastest = std::min(fastest, bench::processorSeconds() - start);
    }
    return fastest;
}

// The command line's clusters command in a process of its own: its peak memory alone.
long peakMemoryKb(const QString& folder, const char* method)
{
    const QByteArray program
        = QFile::encodeName(QCoreApplication::applicationDirPath() + u"/../fieldwright-cli"_s);
    const QByteArray folderPath = QFile::encodeName(folder);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execl(program.constData(), program.constData(), "clusters", folderPath.constData(), "BENCH", "Name",
            "--method", method, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "clusters --method %s failed\n", method);
    return usage.ru_maxrss;
}

bool report(const char* what, double seconds, double plain, double target)
{
    const double ratio = seconds / plain;
    std::printf("  %-28s %7.2f s = %5.2f x plain (target at most %.0f): %s\n", what, seconds, ratio, target,
        ratio <= target ? "ok" : "OVER TARGET");
    return ratio <= target;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::int64_t records = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const int distinct = argc > 2 ? std::atoi(argv[2]) : 100000;
    QTemporaryDir folder;
    const QString error = writeTable(folder.path(), planted::plantedField(distinct, records));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double plain = best([&] { plainRead(folder.path()); });
    std::vector<ValueCount> values;
    const double counting = best([&] { values = *countFieldValues(folder.path(), u"BENCH"_s, u"Name"_s); });
    std::printf("records %lld, distinct values %zu; processor time, best of %d rounds\n",
        static_cast<long long>(records), values.size(), kRounds);
    std::printf("  %-28s %7.2f s\n", "plain read of the table", plain);
    bool isOk = report("values list", counting, plain, 2);

    struct Method
    {
        const char* text;
        double target;
    };
    for (const Method method :
        { Method { "fingerprint", 3 }, Method { "ngram:2", 0 }, Method { "phonetic:english", 0 },
            Method { "levenshtein:1", 20 }, Method { "levenshtein:2", 0 } }) {
        QString problem;
        const ClusterOptions options = *parseClusterMethod(QString::fromLatin1(method.text), &problem);
        std::size_t found = 0;
        const double clustering = best([&] { found = findClusters(values, options)->size(); });
        const QString label = QString::fromLatin1(method.text) + u" (%1 clusters)"_s.arg(found);
        if (method.target > 0)
            isOk = report(qPrintable(u"values + "_s + label), counting + clustering, plain, method.target)
                && isOk;
        else
            std::printf("  values + %-19s %7.2f s = %5.2f x plain\n", qPrintable(label),
                counting + clustering, (counting + clustering) / plain);
    }
    for (const char* method : { "fingerprint", "levenshtein:1" }) {
        const long megabytes = peakMemoryKb(folder.path(), method) / 1024;
        std::printf("  peak memory of clusters --method %s: %ld MB (target under 200): %s\n", method,
            megabytes, megabytes < 200 ? "ok" : "OVER TARGET");
        isOk = megabytes < 200 && isOk;
    }
    return isOk ? 0 : 2;
}
