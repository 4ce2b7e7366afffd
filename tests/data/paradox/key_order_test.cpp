// The test that decides whether text keys may be re-sorted, and what a refused change names.

#include "data/paradox/format/key_order.h"
#include "data/paradox/patch/keyed_rewrite.h"
#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::Field;
using paradox::FieldType;

namespace {

// The byte and the name must both say "ascii"; old tables that end before the name have the
// byte alone. Numbers sort by their bytes under any sort order.
TEST(KeyOrder, TextKeysAreResortedOnlyUnderTheAsciiSortOrder)
{
    struct Case
    {
        const char* name;
        int code;
        QByteArray order;
        bool isByteOrder;
    };
    const Case cases[] = {
        { "asciiByteAndName", 0x00, "ascii", true },
        { "asciiNameInCapitals", 0x00, "ASCII", true },
        { "zeroByteWithoutName", 0x00, "", true },
        { "zeroByteWithIntlName", 0x00, "intl", false },
        { "zeroByteWithAnsiName", 0x00, "ANSIINTL", false },
        { "zeroByteWithLongerName", 0x00, "asciix", false },
        { "otherByteWithoutName", 0x62, "", false },
        { "otherByteWithAsciiName", 0xB7, "ascii", false },
        { "otherByteAndName", 0x62, "ANSIINTL", false },
    };
    const Field text { u"NAME"_s, FieldType::Alpha, 12 };
    const Field number { u"N"_s, FieldType::Long, 4 };
    for (const Case& c : cases) {
        const paradox::TableSortOrder order { c.code, c.order };
        EXPECT_EQ(paradox::isByteOrderSortOrder(order), c.isByteOrder) << c.name;
        const QString problem = paradox::keyOrderProblem(text, order);
        EXPECT_EQ(problem.isEmpty(), c.isByteOrder) << c.name << ": " << problem.toStdString();
        if (!c.isByteOrder) {
            EXPECT_TRUE(problem.contains(u"field \"NAME\""_s)) << c.name;
            EXPECT_TRUE(problem.contains(u"(code 0x%1)"_s.arg(c.code, 2, 16, QChar(u'0')))) << c.name;
            EXPECT_TRUE(problem.contains(
                c.order.isEmpty() ? u"without a name"_s : u"\"%1\""_s.arg(QString::fromLatin1(c.order))))
                << c.name << ": " << problem.toStdString();
        }
        EXPECT_EQ(paradox::keyOrderProblem(number, order), QString()) << c.name;
    }
}

TEST(KeyOrder, ADuplicateKeyOfTwoFieldsNamesBothValues)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"PAIRS"_s;
    recipe.fields = { { u"NAME"_s, FieldType::Alpha, 8 }, { u"NUM"_s, FieldType::Short, 2 },
        { u"NOTE"_s, FieldType::Alpha, 10 } };
    recipe.keyFields = 2;
    for (const char* name : { "alpha", "beta" }) {
        for (int num = 1; num <= 3; ++num)
            recipe.rows.push_back({ QString::fromLatin1(name), std::int32_t { num }, u"n%1"_s.arg(num) });
    }
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    const QString db = QDir(dir.path()).filePath(u"PAIRS.DB"_s);
    ASSERT_EQ(buildIndexes(db), QString());
    const auto before = snapshot(dir.path());
    // The first record of each name moves onto the second: ("alpha", 2) and ("beta", 2) twice.
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(
        db, 1, { { 0, std::int32_t { 2 } }, { 3, std::int32_t { 2 } } }, &rewrite);
    EXPECT_TRUE(error.contains(u"2 records would have the key (\"alpha\", 2), and 4 records in all"_s))
        << error.toStdString();
    EXPECT_TRUE(rewrite.files.empty());
    EXPECT_TRUE(snapshot(dir.path()) == before);
}

} // namespace
