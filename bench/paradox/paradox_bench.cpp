// Reading and writing an 8-field table (Long, two Alpha, Number, Short, Date, Alpha 80,
// Logical): our codec against pxlib on the same files, in the same run.
//
//   paradox_bench [ROWS] [PXLIB_WRITE_ROWS] [PXLIB_PLAIN_READ_ROWS]
//                 (defaults 1000000, 20000, 20000)
//
// Every phase runs in a child process, so that its peak resident memory (from wait4) is its
// own. pxlib's writer rewrites its header after every record (minutes per million rows), so
// it writes PXLIB_WRITE_ROWS rows and the comparison is in rows per second. pxlib's
// PX_get_record() walks the block chain from the start for every record (quadratic); the
// full-size pxlib read asks PX_get_record2() once per block for the block's position and
// reads the block's other records from there, and PX_get_record() alone is timed on the first
// PXLIB_PLAIN_READ_ROWS rows.

#include "bench/paradox/bench_fields.h"
#include "data/paradox/paradox.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <paradox.h>
}

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

namespace {

const std::vector<Field>& kFields = bench::benchFields();

const char* const kCities[] = { "Amsterdam", "Berlin", "Cork", "Dijon", "Essen", "Faro", "Graz", "Hull" };

// The values of row i, the same for both writers.
struct RowValues
{
    std::int32_t id;
    std::string name;
    const char* city;
    double amount;
    std::int16_t count;
    std::int32_t born;
    std::string notes;
    bool isActive;
};

RowValues rowValues(std::int64_t i)
{
    RowValues row;
    row.id = static_cast<std::int32_t>(i + 1);
    row.name = "Customer " + std::to_string(i % 100'000);
    row.city = kCities[i % 8];
    row.amount = static_cast<double>(i % 10'000) / 4.0 - 100.0;
    row.count = static_cast<std::int16_t>(i % 30'000);
    row.born = 700'000 + static_cast<std::int32_t>(i % 30'000);
    row.notes = "Notes for row " + std::to_string(i) + ", with some text to fill the field";
    row.isActive = i % 3 != 0;
    return row;
}

struct Measure
{
    double seconds = 0;
    std::int64_t rows = 0;
    bool isOk = true;
};

// Runs work in a child process and prints its time, rate and peak resident memory.
void runPhase(const char* label, const std::function<Measure()>& work)
{
    std::fflush(stdout);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const Measure measure = work();
        const ssize_t written = write(pipeFds[1], &measure, sizeof measure);
        _exit(written == sizeof measure ? 0 : 1);
    }
    close(pipeFds[1]);
    Measure measure;
    const bool isReported = read(pipeFds[0], &measure, sizeof measure) == sizeof measure;
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    if (!isReported || !measure.isOk || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("%-34s FAILED\n", label);
        return;
    }
    std::printf("%-34s %9lld rows %8.2f s %12.0f rows/s   peak RSS %7.1f MB\n", label,
        static_cast<long long>(measure.rows), measure.seconds,
        static_cast<double>(measure.rows) / measure.seconds, static_cast<double>(usage.ru_maxrss) / 1024.0);
}

Measure writeOurs(const QString& folder, const QString& name, std::int64_t rows)
{
    QElapsedTimer timer;
    timer.start();
    paradox::NewTable table;
    table.folder = folder;
    table.name = name;
    table.fields = kFields;
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return { 0, 0, false };
    }
    paradox::Row row(kFields.size());
    for (std::int64_t i = 0; i < rows; ++i) {
        const RowValues values = rowValues(i);
        row[0] = values.id;
        row[1] = QString::fromLatin1(values.name.c_str());
        row[2] = QString::fromLatin1(values.city);
        row[3] = values.amount;
        row[4] = std::int32_t { values.count };
        row[5] = paradox::Date { values.born };
        row[6] = QString::fromLatin1(values.notes.c_str());
        row[7] = values.isActive;
        if (!writer->append(row, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return { 0, 0, false };
        }
    }
    if (!writer->commit(QString(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return { 0, 0, false };
    }
    return { static_cast<double>(timer.nsecsElapsed()) / 1e9, rows, true };
}

Measure readOurs(const QString& dbPath)
{
    QElapsedTimer timer;
    timer.start();
    QString error;
    auto reader = paradox::openTable(dbPath, &error);
    if (!reader) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return { 0, 0, false };
    }
    paradox::Row row;
    std::int64_t count = 0;
    std::int64_t checksum = 0;
    while (reader->readNext(row)) {
        ++count;
        checksum += std::get<std::int32_t>(row[0]) + std::get<QString>(row[6]).size();
    }
    if (!reader->error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(reader->error()));
        return { 0, 0, false };
    }
    return { static_cast<double>(timer.nsecsElapsed()) / 1e9, checksum > 0 ? count : 0, true };
}

void ignoreErrors(pxdoc_t*, int, const char*, void*) { }

pxdoc_t* newPxlibDocument()
{
    PX_boot();
    std::setlocale(LC_ALL, "C");
    return PX_new3(ignoreErrors, nullptr, nullptr, nullptr, nullptr);
}

Measure writePxlib(const QString& dbPath, std::int64_t rows)
{
    QElapsedTimer timer;
    timer.start();
    pxdoc_t* doc = newPxlibDocument();
    FILE* file = std::fopen(QFile::encodeName(dbPath).constData(), "w+b");
    std::vector<pxfield_t> fields(kFields.size());
    std::vector<std::string> names;
    for (const Field& field : kFields)
        names.push_back(field.name.toStdString());
    for (std::size_t i = 0; i < kFields.size(); ++i)
        fields[i] = { names[i].data(), static_cast<char>(kFields[i].type), kFields[i].size, 0 };
    // pxlib takes ownership of the field array.
    auto* owned = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "fields"));
    for (std::size_t i = 0; i < fields.size(); ++i)
        owned[i] = { PX_strdup(doc, fields[i].px_fname), fields[i].px_ftype, fields[i].px_flen, 0 };
    if (!file || PX_create_fp(doc, owned, static_cast<int>(fields.size()), file, pxfFileTypNonIndexDB) < 0)
        return { 0, 0, false };
    std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(doc)));
    for (std::int64_t i = 0; i < rows; ++i) {
        RowValues values = rowValues(i);
        std::memset(record.data(), 0, record.size());
        char* at = record.data();
        PX_put_data_long(doc, at, 4, values.id);
        PX_put_data_alpha(doc, at + 4, 30, values.name.data());
        PX_put_data_alpha(doc, at + 34, 20, const_cast<char*>(values.city));
        PX_put_data_double(doc, at + 54, 8, values.amount);
        PX_put_data_short(doc, at + 62, 2, values.count);
        PX_put_data_long(doc, at + 64, 4, values.born);
        PX_put_data_alpha(doc, at + 68, 80, values.notes.data());
        PX_put_data_byte(doc, at + 148, 1, static_cast<char>(values.isActive ? 1 : 0));
        if (PX_put_record(doc, record.data()) < 0)
            return { 0, 0, false };
    }
    PX_close(doc);
    PX_delete(doc);
    std::fclose(file);
    return { static_cast<double>(timer.nsecsElapsed()) / 1e9, rows, true };
}

// Decodes one record the way a pxlib user does: one PX_get_data_* call per field.
std::int64_t decodePxlibRecord(pxdoc_t* doc, char* record)
{
    long id = 0;
    char* name = nullptr;
    char* city = nullptr;
    double amount = 0;
    short count = 0;
    long born = 0;
    char* notes = nullptr;
    char active = 0;
    PX_get_data_long(doc, record, 4, &id);
    PX_get_data_alpha(doc, record + 4, 30, &name);
    PX_get_data_alpha(doc, record + 34, 20, &city);
    PX_get_data_double(doc, record + 54, 8, &amount);
    PX_get_data_short(doc, record + 62, 2, &count);
    PX_get_data_long(doc, record + 64, 4, &born);
    PX_get_data_alpha(doc, record + 68, 80, &notes);
    PX_get_data_byte(doc, record + 148, 1, &active);
    const std::int64_t checksum = id + static_cast<std::int64_t>(notes ? std::strlen(notes) : 0);
    for (char* text : { name, city, notes }) {
        if (text)
            doc->free(doc, text);
    }
    return checksum;
}

// blockHinted: one PX_get_record2() per block, the block's other records read from the
// position it reports. Otherwise PX_get_record() for every record.
Measure readPxlib(const QString& dbPath, std::int64_t maxRows, bool isBlockHinted)
{
    QElapsedTimer timer;
    timer.start();
    pxdoc_t* doc = newPxlibDocument();
    FILE* file = std::fopen(QFile::encodeName(dbPath).constData(), "rb");
    if (!file || PX_open_fp(doc, file) < 0)
        return { 0, 0, false };
    const std::int64_t rows = std::min<std::int64_t>(maxRows, PX_get_num_records(doc));
    const int recordSize = PX_get_recordsize(doc);
    std::vector<char> record(static_cast<std::size_t>(recordSize));
    std::int64_t checksum = 0;
    std::int64_t blockEnd = 0;
    long nextPosition = 0;
    for (std::int64_t recno = 0; recno < rows; ++recno) {
        if (!isBlockHinted) {
            if (!PX_get_record(doc, static_cast<int>(recno), record.data()))
                return { 0, 0, false };
        } else if (recno >= blockEnd) {
            int deleted = 0;
            pxdatablockinfo_t block {};
            if (!PX_get_record2(doc, static_cast<int>(recno), record.data(), &deleted, &block))
                return { 0, 0, false };
            blockEnd = recno + (block.numrecords - block.recno);
            nextPosition = block.recordpos + recordSize;
        } else {
            if (std::fseek(file, nextPosition, SEEK_SET) != 0
                || std::fread(record.data(), 1, record.size(), file) != record.size())
                return { 0, 0, false };
            nextPosition += recordSize;
        }
        checksum += decodePxlibRecord(doc, record.data());
    }
    PX_close(doc);
    PX_delete(doc);
    std::fclose(file);
    return { static_cast<double>(timer.nsecsElapsed()) / 1e9, checksum > 0 ? rows : 0, true };
}

std::int64_t argument(int argc, char** argv, int index, std::int64_t fallback)
{
    return argc > index ? std::atoll(argv[index]) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t rows = argument(argc, argv, 1, 1'000'000);
    const std::int64_t pxlibWriteRows = std::min(rows, argument(argc, argv, 2, 20'000));
    const std::int64_t pxlibPlainRows = std::min(rows, argument(argc, argv, 3, 20'000));
    const std::int64_t smallRows = std::max<std::int64_t>(1, rows / 10);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString folder = dir.path();
    std::printf("Paradox table, 8 fields (149-byte records), %lld rows\n", static_cast<long long>(rows));

    runPhase("write, ours", [&] { return writeOurs(folder, u"BIG"_s, rows); });
    runPhase("write, ours (1/10 of the rows)", [&] { return writeOurs(folder, u"SMALL"_s, smallRows); });
    runPhase("write, pxlib PX_put_record",
        [&] { return writePxlib(dir.filePath(u"PXLIB.DB"_s), pxlibWriteRows); });

    const QString big = dir.filePath(u"BIG.DB"_s);
    std::printf("file size %.1f MB\n", static_cast<double>(QFileInfo(big).size()) / 1048576.0);
    runPhase("read, ours", [&] { return readOurs(big); });
    runPhase("read, ours (1/10 of the rows)", [&] { return readOurs(dir.filePath(u"SMALL.DB"_s)); });
    runPhase("read, pxlib (block-hinted)", [&] { return readPxlib(big, rows, true); });
    runPhase("read, pxlib PX_get_record (first)", [&] { return readPxlib(big, pxlibPlainRows, false); });
    runPhase("read, pxlib-written file, ours", [&] { return readOurs(dir.filePath(u"PXLIB.DB"_s)); });
    return 0;
}
