// A key change in a table of a million 145-byte records, with an index over a text field: the
// time it takes and the memory it needs. Runs only when FW_KEYS_SCALE is set (it writes about
// 300 MB and takes a while).

#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::FieldType;

namespace {

constexpr int kRecords = 1'000'000;

long peakResidentKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// In a child process, so that building the table leaves no trace in this one's peak memory.
bool writeBigTable(const QString& folder)
{
    const pid_t child = fork();
    if (child == 0) {
        KeyedTableRecipe recipe;
        recipe.folder = folder;
        recipe.name = u"BIG"_s;
        recipe.fields = { { u"ID"_s, FieldType::Long, 4 }, { u"NAME"_s, FieldType::Alpha, 40 },
            { u"CITY"_s, FieldType::Alpha, 30 }, { u"NOTE"_s, FieldType::Alpha, 71 } };
        recipe.blockSizeKb = 4;
        paradox::NewTable table { folder, recipe.name, recipe.fields, 1252, 0x0B, 4, 0, 0, "ascii" };
        QString error;
        auto writer = paradox::createTable(table, &error);
        bool isWritten = writer != nullptr;
        for (int i = 0; isWritten && i < kRecords; ++i)
            isWritten
                = writer->append({ std::int32_t { i + 1 }, u"name %1"_s.arg(i % 50000, 6, 10, QChar(u'0')),
                                     u"city %1"_s.arg(i % 97), u"note"_s },
                    &error);
        isWritten = isWritten && writer->commit(QString(), &error);
        markKeyed(recipe);
        writeEmptyIndex(recipe, { u"X02"_s, { 1 }, {} });
        _exit(isWritten && buildIndexes(QDir(folder).filePath(u"BIG.DB"_s)).isEmpty() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(KeyedRewriteScale, MillionRecordsWithATextIndex)
{
    if (qEnvironmentVariableIsEmpty("FW_KEYS_SCALE"))
        GTEST_SKIP() << "set FW_KEYS_SCALE to run";
    QTemporaryDir dir;
    ASSERT_TRUE(writeBigTable(dir.path()));
    const QString db = QDir(dir.path()).filePath(u"BIG.DB"_s);

    // One record in ten gets a key past the end: a tenth of the records move to the end.
    std::vector<paradox::FieldChange> changes;
    for (int i = 0; i < kRecords; i += 10)
        changes.push_back({ i, std::int32_t { 2 * kRecords + i } });
    const long before = peakResidentKb();
    QElapsedTimer timer;
    timer.start();
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, std::move(changes), &rewrite), QString());
    const qint64 elapsed = timer.elapsed();
    const long after = peakResidentKb();
    std::cout << "rewrite of " << kRecords << " records: " << elapsed << " ms, peak memory " << after / 1024
              << " MB (" << (after - before) / 1024 << " MB above the " << before / 1024 << " MB before)\n";
    ASSERT_EQ(placeFiles(rewrite), QString());
    EXPECT_EQ(verifyTree(QDir(dir.path()).filePath(u"BIG.PX"_s), db), QString());
    EXPECT_LT(after - before, 100 * 1024);
}

} // namespace
