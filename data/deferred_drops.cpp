#include "data/deferred_drops.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace data {
namespace {

// The folder a statement names may be spelled in many ways (a trailing separator, doubled
// separators, a relative path): compare where they lead.
QString samePlace(const QString& folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool isOf(const HeldDrop& drop, const QString& folder, const QString& table)
{
    return drop.table.compare(table, Qt::CaseInsensitive) == 0 && samePlace(drop.folder) == samePlace(folder);
}

} // namespace

HeldDrop* DeferredDrops::find(const QString& folder, const QString& table)
{
    const auto found = std::find_if(
        m_drops.begin(), m_drops.end(), [&](const HeldDrop& drop) { return isOf(drop, folder, table); });
    return found == m_drops.end() ? nullptr : &*found;
}

void DeferredDrops::release(const QString& folder, const QString& table)
{
    std::erase_if(m_drops, [&](const HeldDrop& drop) { return isOf(drop, folder, table); });
}

} // namespace data
