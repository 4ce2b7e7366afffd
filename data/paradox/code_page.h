#pragma once

// Single-byte text of a table's code page <-> Unicode, through iconv.

#include <QByteArray>
#include <QString>
#include <optional>

namespace paradox {

// True when we can convert text of this code page (437, 850, 852, 865, 866, 1250, 1251, 1252, ...).
bool isSupportedCodePage(int codePage);

// Decodes bytes of the code page. Every byte of a single-byte code page has a meaning, so
// this does not fail for the supported ones; an unsupported code page gives nullopt.
std::optional<QString> decodeText(const QByteArray& bytes, int codePage);

// Encodes text into the code page. nullopt when a character has no place in it: we never
// write a silent "?" instead. On failure *badChar (when given) is the first such character.
std::optional<QByteArray> encodeText(const QString& text, int codePage, QChar* badChar = nullptr);

} // namespace paradox
