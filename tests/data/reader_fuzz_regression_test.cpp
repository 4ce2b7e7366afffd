// Inputs the fuzzer found troublesome, read again on every test run. A new finding goes
// into fuzz_regressions/ as it is.

#include "tests/data/reader_builder.h"
#include "tests/fuzz/reader_fuzz_input.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

TEST(ReaderFuzzRegressions, ReadsEachFormerFindingToAnEnd)
{
    const QDir folder(QStringLiteral(FW_FUZZ_REGRESSIONS));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray input = file.readAll();
        SCOPED_TRACE(name.toStdString());
        fuzzing::readFuzzInput(
            reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    }
}

} // namespace
