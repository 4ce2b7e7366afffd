#pragma once

// One fuzz input read as a table: the first four bytes (little-endian) give the length of the
// .db part, the rest is the .mb file. Shared by the fuzz target and the regression test.

#include "data/paradox/read/table_reader.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>

namespace fuzzing {

inline void readFuzzInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray db;
    QByteArray mb;
    if (size < 4) {
        db = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    } else {
        std::size_t dbSize = data[0] | (data[1] << 8) | (data[2] << 16) | (std::size_t { data[3] } << 24);
        dbSize = std::min(dbSize, size - 4);
        db = QByteArray(reinterpret_cast<const char*>(data + 4), static_cast<qsizetype>(dbSize));
        mb = QByteArray(
            reinterpret_cast<const char*>(data + 4 + dbSize), static_cast<qsizetype>(size - 4 - dbSize));
    }
    auto dbDevice = std::make_unique<QBuffer>();
    dbDevice->setData(db);
    dbDevice->open(QIODevice::ReadOnly);
    auto mbDevice = std::make_unique<QBuffer>();
    mbDevice->setData(mb);
    mbDevice->open(QIODevice::ReadOnly);
    QString error;
    const QString dbName = QStringLiteral("fuzz.db");
    auto reader = paradox::openTableFromDevices(
        std::move(dbDevice), dbName, dbName, std::move(mbDevice), QStringLiteral("fuzz.mb"), &error);
    if (!reader)
        return;
    paradox::Row row;
    while (reader->readNext(row)) {
        for (const paradox::Value& value : row)
            (void)paradox::valueText(value);
    }
}

} // namespace fuzzing
