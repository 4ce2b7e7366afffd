#include "data/paradox/patch/keyed_layout.h"

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

QString outOfOrder(const KeyedTable& table, std::int64_t record)
{
    return u"%1: record %2 does not follow record %3 in the order this program computes for the key, so the "
           "table's sort order \"%4\" cannot be reproduced (or the table is damaged); nothing was written"_s
               .arg(table.name)
               .arg(record + 1)
               .arg(record)
               .arg(QString::fromLatin1(table.header.info.sortOrderName));
}

// The first key shared by several records, and how many records share keys at all.
QString collisions(const KeyedTable& table, const std::vector<unsigned char>& keys, const KeyOrder& result)
{
    const auto size = static_cast<std::size_t>(table.keySize);
    const auto keyOf = [&](std::size_t position) { return keys.data() + result.order[position] * size; };
    std::size_t firstGroup = 0;
    std::size_t firstStart = 0;
    std::size_t colliding = 0;
    for (std::size_t start = 0; start < result.order.size();) {
        std::size_t end = start + 1;
        while (end < result.order.size() && compareKeys(keyOf(start), keyOf(end), table.keySize) == 0)
            ++end;
        if (end - start > 1) {
            if (colliding == 0) {
                firstGroup = end - start;
                firstStart = start;
            }
            colliding += end - start;
        }
        start = end;
    }
    if (colliding == 0)
        return QString();
    QString message
        = u"%1: after the change %2 records would have the key %3"_s.arg(table.name)
              .arg(firstGroup)
              .arg(describeKey(table.keyFieldList(), keyOf(firstStart), table.header.info.codePage));
    if (colliding > firstGroup)
        message += u", and %1 records in all would share a key with another"_s.arg(colliding);
    return message + u". A key must be unique: nothing was written"_s;
}

} // namespace

std::optional<KeyOrder> orderByNewKeys(const KeyedTable& table, const FieldChanges& changes, QString* refusal)
{
    QFile file;
    openForReading(file, table.path, table.name);
    const auto size = static_cast<std::size_t>(table.keySize);
    const auto count = static_cast<std::size_t>(table.header.info.recordCount);
    const bool isKeyChange = changes.field() < table.keyFields;
    KeyOrder result;
    result.offsets.reserve(count);
    std::vector<unsigned char> keys(count * size);
    std::vector<unsigned char> record(static_cast<std::size_t>(table.header.recordSize));
    std::vector<unsigned char> previous(size);
    BlockChainReader chain(file, table.name, table.layout());
    std::uint32_t position = 0;
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i, ++position) {
            const unsigned char* stored = chain.record(i);
            // The records as the engine left them must already be in this program's order.
            if (position > 0 && compareKeys(previous.data(), stored, table.keySize) >= 0) {
                *refusal = outOfOrder(table, position);
                return std::nullopt;
            }
            std::copy_n(stored, size, previous.begin());
            result.offsets.push_back(chain.recordOffset(i));
            std::copy_n(stored, table.header.recordSize, record.begin());
            if (isKeyChange)
                changes.apply(position, record.data());
            std::copy_n(record.begin(), size, keys.begin() + static_cast<std::ptrdiff_t>(position * size));
        }
    }
    result.order.resize(result.offsets.size());
    std::iota(result.order.begin(), result.order.end(), 0U);
    std::sort(result.order.begin(), result.order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int compared = compareKeys(keys.data() + a * size, keys.data() + b * size, table.keySize);
        return compared < 0 || (compared == 0 && a < b);
    });
    *refusal = collisions(table, keys, result);
    if (!refusal->isEmpty())
        return std::nullopt;
    return result;
}

bool writeInKeyOrder(const KeyedTable& table, const FieldChanges& changes, const KeyOrder& order,
    writer::TemporaryFile& file, BlockKeys* blocks, QString* error)
{
    QFile source;
    openForReading(source, table.path, table.name);
    RecordFetcher fetch(source, table.name, table.layout());
    PackedBlockWriter writer(
        file, table.name, table.rawHeader, table.header.blockSize, table.header.recordSize, table.keySize);
    std::vector<unsigned char> record(static_cast<std::size_t>(table.header.recordSize));
    for (std::uint32_t position : order.order) {
        const unsigned char* stored = fetch.at(order.offsets[position]);
        std::copy_n(stored, record.size(), record.begin());
        changes.apply(position, record.data());
        if (!writer.append(record.data(), error))
            return false;
    }
    if (!writer.finish(error))
        return false;
    *blocks = writer.blockKeys();
    return true;
}

bool writePatchedCopy(
    const KeyedTable& table, const FieldChanges& changes, writer::TemporaryFile& file, QString* error)
{
    if (!file.copyFrom(table.path, error))
        return false;
    QFile source;
    openForReading(source, table.path, table.name);
    // Walking the chain finds each changed record's place and checks the chain on the way.
    BlockChainReader chain(source, table.name, table.layout());
    std::uint32_t position = 0;
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i, ++position) {
            const unsigned char* value = changes.find(position);
            if (value
                && !file.writeAt(chain.recordOffset(i) + static_cast<std::uint32_t>(changes.offset()),
                    reinterpret_cast<const char*>(value), static_cast<std::size_t>(changes.width()), error))
                return false;
        }
    }
    return true;
}

} // namespace paradox
