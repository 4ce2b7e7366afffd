#include "data/paradox/io/uncached_io.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>

namespace paradox::uncached {

namespace {
std::atomic<bool> isBypassAllowed { true };
} // namespace

void allowBypass(bool isAllowed)
{
    isBypassAllowed = isAllowed;
}

bool setBypass(int fd, bool isOn)
{
    if (isOn && !isBypassAllowed)
        return false;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    const int wanted = isOn ? flags | O_DIRECT : flags & ~O_DIRECT;
    return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

void AlignedBuffer::Free::operator()(char* data) const
{
    std::free(data);
}

void AlignedBuffer::reserve(std::size_t size)
{
    if (size <= m_size)
        return;
    const std::size_t grown = roundUp(size);
    auto* data = static_cast<char*>(std::aligned_alloc(kUnit, grown));
    if (!data)
        throw std::bad_alloc();
    if (m_size > 0)
        std::memcpy(data, m_data.get(), m_size);
    m_data.reset(data);
    m_size = grown;
}

} // namespace paradox::uncached
