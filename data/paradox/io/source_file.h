#pragma once

// A file of a table opened for reading at given offsets: the patch reads headers, block
// headers and old memo pointers from the original while it writes the copy.

#include <QString>
#include <cstdint>

namespace paradox {

class SourceFile
{
public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // False with *error (naming the file) when it cannot be opened.
    bool open(const QString& path, QString* error);
    const QString& path() const { return m_path; }
    std::int64_t size() const { return m_size; }
    int descriptor() const { return m_fd; }

    // Reads exactly `size` bytes at offset; throws FormatError (naming `name`) when the file
    // ends before them or cannot be read.
    void readAt(std::int64_t offset, char* data, std::int64_t size, const QString& name) const;

private:
    QString m_path;
    int m_fd = -1;
    std::int64_t m_size = 0;
};

} // namespace paradox
