#pragma once

// One fuzz input checked as a table: the first four bytes (little-endian) give the length of
// the .db part, the next four the length of the .mb part; the rest is the .px file. Shared by
// the fuzz target and the regression test.

#include "data/paradox/check/table_check.h"

#include <QBuffer>
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace fuzzing {

inline std::size_t takeLength(const std::uint8_t*& data, std::size_t& size)
{
    if (size < 4)
        return size;
    const std::size_t length = data[0] | (data[1] << 8) | (data[2] << 16) | (std::size_t { data[3] } << 24);
    data += 4;
    size -= 4;
    return std::min(length, size);
}

inline QByteArray takePart(const std::uint8_t*& data, std::size_t& size, std::size_t length)
{
    QByteArray part(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
    data += length;
    size -= length;
    return part;
}

inline paradox::TableCheck checkFuzzInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray db = takePart(data, size, takeLength(data, size));
    const QByteArray mb = takePart(data, size, takeLength(data, size));
    const QByteArray px = takePart(data, size, size);
    QBuffer dbDevice;
    dbDevice.setData(db);
    dbDevice.open(QIODevice::ReadOnly);
    auto mbDevice = std::make_unique<QBuffer>();
    mbDevice->setData(mb);
    mbDevice->open(QIODevice::ReadOnly);
    QBuffer pxDevice;
    pxDevice.setData(px);
    pxDevice.open(QIODevice::ReadOnly);
    return paradox::checkTableDevices(QStringLiteral("fuzz"), dbDevice, QStringLiteral("fuzz.db"),
        mb.isEmpty() ? nullptr : std::move(mbDevice), QStringLiteral("fuzz.mb"),
        px.isEmpty() ? nullptr : &pxDevice, QStringLiteral("fuzz.px"));
}

} // namespace fuzzing
