#include "cleaning/run_result.h"

#include "data/backups/backups.h"

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

QString counted(std::int64_t count, const QString& one, const QString& many)
{
    return count == 1 ? u"1 "_s + one : u"%1 "_s.arg(count) + many;
}

QString records(std::int64_t count)
{
    return counted(count, u"record"_s, u"records"_s);
}

QString values(std::int64_t count)
{
    return counted(count, u"value"_s, u"values"_s);
}

} // namespace

QString outcomeLine(const ChangeRunResult& result)
{
    const bool isPreview = result.outcome == ChangeRunResult::Outcome::Previewed;
    QString line;
    if (result.recordsChanged > 0 && isPreview) {
        line = u"%1 of the table's %2 would change (%3)."_s.arg(result.recordsChanged)
                   .arg(records(result.recordCount), values(result.valuesChanged));
    } else if (result.recordsChanged > 0) {
        line = u"%1 of the table's %2 changed."_s.arg(result.recordsChanged).arg(records(result.recordCount));
        if (!result.backupFolder.isEmpty())
            line += u" The previous version is kept in %1."_s.arg(
                data::shownBackupFolder(result.backupFolder));
    } else if (result.wasAbandoned && isPreview) {
        line = u"The operation was abandoned: there is nothing to preview."_s;
    } else if (result.wasAbandoned) {
        line = u"The operation was abandoned: no record changed, so the table was not written."_s;
    } else {
        line = isPreview ? u"No record would change."_s
                         : u"No record changed, so the table was not written."_s;
    }
    if (result.valuesRejected > 0) {
        const QString whose = result.valuesRejected == 1 ? u"its"_s : u"their"_s;
        line += (isPreview
                ? u" The field cannot hold the new text of %1; %2 records would stay as they are."_s
                : u" The field cannot hold the new text of %1; %2 records were left as they were."_s)
                    .arg(values(result.valuesRejected), whose);
    }
    if (result.recordsInLimit >= 0)
        line += u" The limit took in %1 of the table's %2."_s.arg(result.recordsInLimit)
                    .arg(records(result.recordCount));
    return line;
}

} // namespace cleaning
