// Builds the sample database from the text tables beside this file: one Paradox table per
// .csv, written with our own Paradox writer. The first line that is not a "#" comment
// names and types the fields (see customer.csv); every later line is one record.
//
//     make_samples SOURCE_FOLDER TARGET_FOLDER

#include "data/paradox/paradox.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

// One CSV line: cells split at commas outside double quotes; "" inside quotes is one quote.
// A quoted cell is always text, an empty unquoted cell is a null.
struct Cell
{
    QString text;
    bool isNull = false;
};

QString unescaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += next == u't' ? QChar(u'\t') : next == u'r' ? QChar(u'\r') : next == u'n' ? QChar(u'\n') : next;
    }
    return out;
}

QList<Cell> splitLine(const QString& line, const QString& where)
{
    QList<Cell> cells;
    qsizetype i = 0;
    for (;;) {
        Cell cell;
        if (i < line.size() && line[i] == u'"') {
            ++i;
            for (;;) {
                if (i >= line.size())
                    fail(where + u": a quoted cell is not closed"_s);
                if (line[i] == u'"') {
                    if (i + 1 < line.size() && line[i + 1] == u'"') {
                        cell.text += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell.text += line[i++];
            }
        } else {
            const qsizetype end = line.indexOf(u',', i);
            cell.text = line.mid(i, end < 0 ? -1 : end - i);
            cell.isNull = cell.text.isEmpty();
            i = end < 0 ? line.size() : end;
        }
        cell.text = unescaped(cell.text);
        cells.append(cell);
        if (i >= line.size())
            return cells;
        if (line[i] != u',')
            fail(where + u": a comma must follow a quoted cell"_s);
        ++i;
    }
}

paradox::Field parseField(const QString& spec, const QString& where)
{
    static const QRegularExpression form(uR"(^(\w+):([ISN$DLAM])(\d*)$)"_s);
    const QRegularExpressionMatch match = form.match(spec);
    if (!match.hasMatch())
        fail(where + u": field \"%1\" is not Name:Type"_s.arg(spec));
    paradox::Field field;
    field.name = match.captured(1);
    const QChar type = match.captured(2).at(0);
    const int size = match.captured(3).toInt();
    using paradox::FieldType;
    switch (type.unicode()) {
    case u'I':
        field.type = FieldType::Long, field.size = 4;
        break;
    case u'S':
        field.type = FieldType::Short, field.size = 2;
        break;
    case u'N':
        field.type = FieldType::Number, field.size = 8;
        break;
    case u'$':
        field.type = FieldType::Money, field.size = 8;
        break;
    case u'D':
        field.type = FieldType::Date, field.size = 4;
        break;
    case u'L':
        field.type = FieldType::Logical, field.size = 1;
        break;
    case u'A':
        field.type = FieldType::Alpha, field.size = size;
        break;
    case u'M':
        field.type = FieldType::Memo, field.size = size;
        break;
    }
    if ((type == u'A' || type == u'M') && size == 0)
        fail(where + u": field \"%1\" needs a size"_s.arg(spec));
    return field;
}

paradox::Value parseValue(const Cell& cell, const paradox::Field& field, const QString& where)
{
    if (cell.isNull)
        return paradox::Null {};
    bool ok = true;
    paradox::Value value;
    using paradox::FieldType;
    switch (field.type) {
    case FieldType::Long:
    case FieldType::Short:
        value = cell.text.toInt(&ok);
        break;
    case FieldType::Number:
    case FieldType::Money:
        value = cell.text.toDouble(&ok);
        break;
    case FieldType::Date: {
        const QDate date = QDate::fromString(cell.text, Qt::ISODate);
        ok = date.isValid();
        // Day 1 is 1 January of the year 1.
        value = paradox::Date { static_cast<std::int32_t>(date.toJulianDay() - 1721425) };
        break;
    }
    case FieldType::Logical:
        ok = cell.text == u"true"_s || cell.text == u"false"_s;
        value = cell.text == u"true"_s;
        break;
    default:
        value = cell.text;
        break;
    }
    if (!ok)
        fail(where + u": \"%1\" is no value for field %2"_s.arg(cell.text, field.name));
    return value;
}

void writeTable(const QString& csvPath, const QString& targetFolder)
{
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(csvPath + u": "_s + file.errorString());
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');

    paradox::NewTable table;
    table.folder = targetFolder;
    table.name = QFileInfo(csvPath).completeBaseName().toUpper();
    std::unique_ptr<paradox::TableWriter> writer;
    QString error;
    for (qsizetype number = 0; number < lines.size(); ++number) {
        const QString& line = lines[number];
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QString where = u"%1:%2"_s.arg(QFileInfo(csvPath).fileName()).arg(number + 1);
        const QList<Cell> cells = splitLine(line, where);
        if (!writer) {
            for (const Cell& cell : cells)
                table.fields.push_back(parseField(cell.text, where));
            if (!paradox::dropTable(targetFolder, table.name, &error))
                fail(error);
            writer = paradox::createTable(table, &error);
            if (!writer)
                fail(error);
            continue;
        }
        if (static_cast<std::size_t>(cells.size()) != table.fields.size())
            fail(where + u": %1 cells for %2 fields"_s.arg(cells.size()).arg(table.fields.size()));
        paradox::Row row;
        for (std::size_t i = 0; i < table.fields.size(); ++i)
            row.push_back(parseValue(cells[static_cast<qsizetype>(i)], table.fields[i], where));
        if (!writer->append(row, &error))
            fail(where + u": "_s + error);
    }
    if (!writer)
        fail(csvPath + u": no header line"_s);
    if (!writer->commit(QString(), &error))
        fail(error);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: make_samples SOURCE_FOLDER TARGET_FOLDER\n", stderr);
        return 2;
    }
    try {
        const QDir source(arguments[1]);
        if (!QDir().mkpath(arguments[2]))
            fail(arguments[2] + u": cannot create the folder"_s);
        for (const QString& name : source.entryList({ u"*.csv"_s }, QDir::Files, QDir::Name))
            writeTable(source.filePath(name), arguments[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
