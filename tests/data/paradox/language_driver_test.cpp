// Tables whose header gives no code page are read in their language driver's.

#include "data/paradox/format/code_page.h"
#include "data/paradox/format/language_driver.h"
#include "tests/data/paradox/patch_test_support.h"

#include <QTemporaryDir>

using namespace paradox;
using namespace patchtest;

namespace {

// One Alpha field holding "Š½ƒ¶" (HP Roman-8 eb f8 be f4), its header's code page zeroed and
// its language driver set; the path of its .DB.
QString roman8Table(const QString& folder, int sortOrderCode, const QByteArray& sortOrderName)
{
    NewTable table = writertest::newTable(folder, u"R"_s, { { u"Text"_s, FieldType::Alpha, 20 } });
    table.codePage = kHpRoman8CodePage;
    table.sortOrderCode = 0x14;
    table.sortOrderName = "BLROM800";
    EXPECT_EQ(writertest::writeTable(table, { { u"Š½ƒ¶"_s } }), QString());
    const QString path = QDir(folder).filePath(u"R.DB"_s);
    QByteArray db = fileBytes(path);
    db[0x6A] = 0;
    db[0x6B] = 0;
    db[0x29] = static_cast<char>(sortOrderCode);
    const qsizetype name = db.indexOf("BLROM800");
    db.replace(name, 8, sortOrderName.leftJustified(8, '\0'));
    EXPECT_TRUE(writeFile(path, db));
    return path;
}

QByteArray firstRecord(const QString& path, int size)
{
    const QByteArray db = fileBytes(path);
    const int headerSize = static_cast<unsigned char>(db[2]) | (static_cast<unsigned char>(db[3]) << 8);
    return db.mid(headerSize + 6, size);
}

TEST(LanguageDriver, Roman8TextReadsAndKeepsItsBytes)
{
    QTemporaryDir dir;
    const QString path = roman8Table(dir.path(), 0x14, "BLROM800");
    ASSERT_EQ(firstRecord(path, 5), QByteArray("\xEB\xF8\xBE\xF4\0", 5));
    auto reader = openTable(path, nullptr);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->info().codePageSource, TableInfo::CodePageSource::LanguageDriver);
    EXPECT_TRUE(codePageText(reader->info()).contains(u"HP Roman-8, from the language driver \"BLROM800\""_s))
        << codePageText(reader->info()).toStdString();
    EXPECT_EQ(readAll(path).rows, std::vector<Row>({ { u"Š½ƒ¶"_s } }));

    QString error;
    auto patch = openTablePatch(path, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    ASSERT_TRUE(patch->change(0, 0, u"Š½ƒ¶ ok"_s, &error)) << error.toStdString();
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();
    EXPECT_EQ(firstRecord(patch->temporaryDbPath(), 8), QByteArray("\xEB\xF8\xBE\xF4 ok\0", 8));
}

// The name decides, and only with its own byte; without a name a byte counts when every driver
// with it has the same code page. Anything else is read as before, in 437, and says so.
TEST(LanguageDriver, NameAndByteTogetherOrTheByteAloneWhenItIsUnambiguous)
{
    struct Case
    {
        const char* name;
        int code;
        QByteArray driver;
        int codePage;
        TableInfo::CodePageSource source;
    };
    using Source = TableInfo::CodePageSource;
    const Case cases[] = {
        { "nameInAnotherCase", 0x54, "INTL850", 850, Source::LanguageDriver },
        { "nameWithAnotherDriversByte", 0x62, "intl850", 437, Source::Assumed },
        { "unknownName", 0x14, "nonesuch", 437, Source::Assumed },
        { "byteAlone", 0x82, "", 865, Source::LanguageDriver },
        { "byteOfTwoCodePages", 0x8F, "", 437, Source::Assumed }, // polish 852, ancyrr 1251
        { "cyrillicAnsi", 0x8F, "ancyrr", 1251, Source::LanguageDriver },
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = roman8Table(dir.path(), c.code, c.driver);
        QString error;
        auto reader = openTable(path, &error);
        ASSERT_TRUE(reader) << c.name << ": " << error.toStdString();
        EXPECT_EQ(reader->info().codePage, c.codePage) << c.name;
        EXPECT_EQ(reader->info().codePageSource, c.source) << c.name;
        if (c.source == Source::Assumed) {
            EXPECT_TRUE(codePageOrigin(reader->info()).contains(u"is not known"_s)) << c.name;
        }
    }
    QTemporaryDir dir;
    EXPECT_EQ(readAll(roman8Table(dir.path(), 0x14, "nonesuch")).rows, std::vector<Row>({ { u"δ°╛⌠"_s } }));
}

} // namespace
