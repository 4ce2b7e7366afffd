#pragma once

// The write-back's safe drop. The old table must not leave its folder before the table
// that replaces it is completely written, so a Paradox connection that has DeferredDrops
// answers DROP TABLE by noting the table here, with a fresh backup folder for it; the files
// stay in place. The copy statement that later writes a table of that name into that
// folder finds the note, writes the new table completely beside the old one, and only then
// swaps them: the old family goes into the backup folder, the new one into its place.

#include <QString>
#include <vector>

namespace data {

struct HeldDrop
{
    QString folder; // the Paradox folder, as a clean absolute path
    QString table; // as the statement named it
    QString backupFolder; // where the old family goes when it is replaced
    bool isReplaced = false;
};

class DeferredDrops
{
public:
    explicit DeferredDrops(QString backupRoot)
        : m_backupRoot(std::move(backupRoot))
    { }
    const QString& backupRoot() const { return m_backupRoot; }
    void hold(HeldDrop drop) { m_drops.push_back(std::move(drop)); }
    // The held drop of this table in this folder (table compared case-insensitively).
    HeldDrop* find(const QString& folder, const QString& table);
    void release(const QString& folder, const QString& table);
    const std::vector<HeldDrop>& drops() const { return m_drops; }

private:
    QString m_backupRoot;
    std::vector<HeldDrop> m_drops;
};

} // namespace data
