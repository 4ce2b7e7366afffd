#include "data/digests/sha256.h"

#include <openssl/evp.h>

namespace data {

Sha256::Sha256()
    : m_context(EVP_MD_CTX_new())
{
    m_isFailed = m_context == nullptr || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_context);
}

void Sha256::add(const char* bytes, std::size_t size)
{
    if (!m_isFailed && size > 0)
        m_isFailed = EVP_DigestUpdate(m_context, bytes, size) != 1;
}

QByteArray Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (m_isFailed || EVP_DigestFinal_ex(m_context, digest, &length) != 1)
        return {};
    m_isFailed = true; // a context is finished once
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex();
}

} // namespace data
