#pragma once

// Field values -> the bytes of a record slot, for the writer.
//
// Numbers are big-endian with the sign bit flipped, so that raw bytes sort like the values and
// an all-zero slot means blank:
//
// | Type                     | Bytes | Encoding                                                   |
// |--------------------------|-------|------------------------------------------------------------|
// | Alpha                    | size  | code-page text, NUL-padded, no terminator when full        |
// | Short                    | 2     | two's complement BE, top bit flipped (-32768 = blank)      |
// | Long, Autoincrement      | 4     | same, 32 bits (-2147483648 = blank)                        |
// | Date                     | 4     | as Long: days, 0001-01-01 = 1                              |
// | Time                     | 4     | as Long: milliseconds since midnight                       |
// | Number, Money, Timestamp | 8     | IEEE double BE; >= 0: top bit set; < 0: all bits inverted  |
// | Logical                  | 1     | 0x80 false, 0x81 true                                      |
// | BCD                      | 17    | byte 0: 0x80 positive | 0x40 | decimals; 32 BCD digits,   |
// |                          |       | high nibble first; negative: every digit stored as 15 - d  |
// | Bytes                    | size  | raw, zero-padded                                           |
// | Memo, Blob, F, O, G      | s     | leader (s - 10 bytes) + .mb pointer, see field_decode.h    |

#include "data/paradox/format/field_decode.h"
#include "data/paradox/format/table.h"

#include <optional>

namespace paradox::writer {

// The size byte a new table stores for the field, or nullopt with *error when the field
// cannot be written (unknown type, size out of range, empty name).
std::optional<int> checkedSizeByte(const Field& field, QString* error);

// Encodes a value of a field that is not a memo or blob into out (fieldWidth bytes, header.h).
// False with *error (which does not name the field) when the value does not fit the field.
bool encodeFixedField(const Field& field, const Value& value, int codePage, char* out, QString* error);

// The bytes a memo or blob value stores (text in the code page for memos); an empty array
// for a blank value. nullopt with *error when the value does not fit the field or a memo file.
std::optional<QByteArray> blobContent(const Field& field, const Value& value, int codePage, QString* error);

// Fills a memo or blob field (field.size bytes at slot) for `content`: its first bytes in
// the leader, then `pointer` (offset 0 for a value that fits the leader) with the content's
// length. All zeros for empty content.
void putBlobField(const Field& field, const QByteArray& content, const BlobPointer& pointer, char* slot);

} // namespace paradox::writer
