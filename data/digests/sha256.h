#pragma once

// SHA-256 of bytes that come in pieces, by the system's crypto library, which uses the
// processor's SHA instructions where it has them: ten times the speed of Qt's own code, and a
// write-back digests each data file of the table as found and as left.

#include <QByteArray>

#include <cstddef>

struct evp_md_ctx_st;

namespace data {

class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* bytes, std::size_t size);
    void add(const QByteArray& bytes) { add(bytes.constData(), static_cast<std::size_t>(bytes.size())); }
    // The digest in lower-case hex, as backup notes keep it; empty when the library failed.
    QByteArray hex();

private:
    evp_md_ctx_st* m_context;
    bool m_isFailed = false;
};

} // namespace data
