// Whole runs on tables the Paradox engine itself wrote, and on tables of the code pages and
// values it writes: a run that changes nothing leaves every file as it was; a run that
// changes a field gives every record the transform of its own value and leaves every other
// file of the folder as it was, or, where a key cannot be rebuilt as the engine would, is
// refused with the folder as it was.

#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "cleaning/transforms.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <QCryptographicHash>
#include <QDirIterator>

using namespace Qt::StringLiterals;
using paradox::FieldType;

namespace {

QString realworldFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("FW_REALWORLD_DIR");
    return fromEnvironment.isEmpty() ? QString::fromUtf8(FW_REALWORLD_DIR) : fromEnvironment;
}

// Every file of a folder with its contents.
std::map<QString, QByteArray> filesOf(const QString& folder)
{
    std::map<QString, QByteArray> files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        file.open(QIODevice::ReadOnly);
        files[info.fileName()] = file.readAll();
    }
    return files;
}

class RealworldRuns : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;
    testsupport::ScriptedView view;

    cleaning::ChangeRunResult run(const QString& folder, const QString& table, const QString& field, int operation)
    {
        view.table = table;
        view.field = field;
        view.operation = cleaning::operations()[static_cast<std::size_t>(operation - 1)].captionText();
        view.messages.clear();
        view.reports.clear();
        const core::PlainFolderBox box(folder);
        return cleaning::PushButton1_Click(view, { box, install.appFolder(), install.backupRoot() });
    }

    // A folder of the engine's tables, copied where runs may change it.
    QString copyOf(const QString& source)
    {
        const QString target = install.path(QFileInfo(source).fileName());
        QDir().mkpath(target);
        for (const QFileInfo& info : QDir(source).entryInfoList(QDir::Files)) {
            QFile::copy(info.filePath(), target + u'/' + info.fileName());
            QFile(target + u'/' + info.fileName()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        return target;
    }
};

bool isText(FieldType type)
{
    return type == FieldType::Alpha || type == FieldType::Memo || type == FieldType::FormattedMemo;
}

TEST_F(RealworldRuns, EveryFieldOfEveryTable)
{
    if (!QFileInfo(realworldFolder()).isDir())
        GTEST_SKIP() << "the engine's tables are not here";
    int runs = 0;
    int refusals = 0;
    for (const QString& name : { u"fields"_s, u"joins"_s }) {
        const QString folder = copyOf(realworldFolder() + u'/' + name);
        for (const QString& file : QDir(folder).entryList({ u"*.db"_s }, QDir::Files)) {
            const QString table = QFileInfo(file).completeBaseName();
            QString error;
            auto reader = paradox::openTable(folder + u'/' + file, &error);
            ASSERT_TRUE(reader) << error.toStdString();
            const std::vector<paradox::Field> fields = reader->info().fields;
            for (std::size_t f = 0; f < fields.size(); ++f) {
                SCOPED_TRACE(qPrintable(table + u'.' + fields[f].name));
                // Removing tabs changes none of these values: nothing may change, nothing be kept.
                const auto filesBefore = filesOf(folder);
                run(folder, table, fields[f].name, 8);
                EXPECT_TRUE(filesOf(folder) == filesBefore);
                EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
                ++runs;
                if (!isText(fields[f].type))
                    continue;
                // Removing letters changes every value that has one.
                std::vector<paradox::Row> before;
                paradox::Row row;
                for (auto records = paradox::openTable(folder + u'/' + file, &error); records->readNext(row);)
                    before.push_back(row);
                const auto result = run(folder, table, fields[f].name, 10);
                if (result.outcome != cleaning::ChangeRunResult::Outcome::WrittenBack) {
                    EXPECT_TRUE(filesOf(folder) == filesBefore) << "a refused run changes nothing";
                    ++refusals;
                    continue;
                }
                std::vector<paradox::Row> after;
                for (auto records = paradox::openTable(folder + u'/' + file, &error); records && records->readNext(row);)
                    after.push_back(row);
                ASSERT_EQ(after.size(), before.size());
                // Records of a keyed table may move; compare them as sets of expected rows.
                std::vector<paradox::Row> expected = before;
                for (paradox::Row& record : expected) {
                    if (const auto* text = std::get_if<QString>(&record[f]); text) {
                        const QString cleaned = cleaning::RemoveLetters(*text);
                        record[f] = cleaned.isEmpty() ? paradox::Value(paradox::Null {}) : paradox::Value(cleaned);
                    }
                }
                for (const paradox::Row& record : expected)
                    EXPECT_TRUE(std::find(after.begin(), after.end(), record) != after.end());
                // Nothing but the table's .DB, its .MB and the indexes a key needs is touched.
                const auto filesAfter = filesOf(folder);
                for (const auto& [fileName, bytes] : filesBefore) {
                    const QString base = QFileInfo(fileName).completeBaseName();
                    const QString suffix = QFileInfo(fileName).suffix().toUpper();
                    const bool mayChange = base == table
                        && (suffix == u"DB"_s || suffix == u"MB"_s || suffix == u"PX"_s || suffix.startsWith(u'X')
                            || suffix.startsWith(u'Y'));
                    if (!mayChange) {
                        EXPECT_TRUE(filesAfter.at(fileName) == bytes) << fileName.toStdString();
                    }
                }
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 60);
    RecordProperty("runs", runs);
    RecordProperty("refusals", refusals);
}

TEST_F(RealworldRuns, TheEnginesBcdValuesAreReadAndKept)
{
    if (!QFileInfo(realworldFolder()).isDir())
        GTEST_SKIP() << "the engine's tables are not here";
    const QString folder = copyOf(realworldFolder() + u"/fields"_s);
    const auto before = filesOf(folder);
    for (const QString& field : { u"A"_s, u"B"_s, u"C"_s })
        run(folder, u"bcd"_s, field, 1);
    EXPECT_TRUE(filesOf(folder) == before);
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
}

TEST_F(RealworldRuns, TextOfEveryCodePageComesThroughWithItsOwnBytes)
{
    // "ア" is 0x83 0x41 in code page 932; 0x81 is a byte code page 1252 leaves undefined.
    install.writeTable(u"JP"_s, { testsupport::alphaField(u"F"_s, 20) },
        { testsupport::texts({ u"アイウ abc" }), testsupport::texts({ u"カナ x" }) }, 932);
    run(install.paradoxFolder(), u"JP"_s, u"F"_s, 10);
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_EQ(install.column(u"JP"_s), (QStringList { u"アイウ "_s, u"カナ "_s }));

    install.writeTable(u"W"_s, { testsupport::alphaField(u"F"_s, 20), testsupport::alphaField(u"G"_s, 20) },
        { { u"a\u0081b"_s, u"x y"_s }, { u"c d"_s, u"z"_s } });
    QFile table(install.paradoxFolder() + u"/W.DB"_s);
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    ASSERT_TRUE(table.readAll().contains("a\x81" "b"));
    table.close();
    run(install.paradoxFolder(), u"W"_s, u"F"_s, 1);
    EXPECT_TRUE(view.messages.first().startsWith(u"Done.\r\n1 of the table's 2 records changed."_s))
        << view.messages.first().toStdString();
    EXPECT_EQ(install.column(u"W"_s), (QStringList { u"a\u0081b"_s, u"cd"_s }));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    EXPECT_TRUE(table.readAll().contains("a\x81" "b")) << "the undefined byte is kept";
}

TEST_F(RealworldRuns, ANumberFieldWithNullsIsCleanedByAnyOperation)
{
    install.writeTable(u"N"_s, { { u"Amount"_s, FieldType::Number, 8 } },
        { { 1.5 }, { paradox::Value(paradox::Null {}) }, { -2.25 } });
    for (int operation = 1; operation <= 27; ++operation) {
        view.answers = { u"1"_s, u"1"_s };
        const auto result = run(install.paradoxFolder(), u"N"_s, u"Amount"_s, operation);
        EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack) << operation;
        ASSERT_FALSE(view.messages.isEmpty());
        EXPECT_EQ(view.messages.last().left(5), u"Done."_s) << operation;
    }
}

} // namespace
