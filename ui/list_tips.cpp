#include "ui/list_tips.h"

#include "core/error_report.h"
#include "files/folder_scan.h"
#include "files/paths.h"

#include <QDir>
#include <QHash>
#include <QHelpEvent>
#include <QSet>
#include <QToolTip>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

class QuietReports : public core::ErrorSink
{
public:
    void showErrorReport(const QString&) override { }
};

} // namespace

QString visibleBlanks(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && text[first] == u' ')
        ++first;
    qsizetype end = text.size();
    while (end > first && text[end - 1] == u' ')
        --end;
    QString marked = QString(first, u'·');
    for (qsizetype i = first; i < end; ++i) {
        if (text[i] == u'\t')
            marked += u'→';
        else if (text[i] == u'\r' && i + 1 < end && text[i + 1] == u'\n')
            continue; // the LF that follows marks the pair
        else if (text[i] == u'\r' || text[i] == u'\n')
            marked += u'↵';
        else
            marked += text[i];
    }
    return marked + QString(text.size() - end, u'·');
}

QString fieldTip(const paradox::Field& field)
{
    const QString type = paradox::fieldTypeName(field.type);
    switch (field.type) {
    case paradox::FieldType::Alpha:
        return u"%1, %2 characters"_s.arg(type).arg(field.size);
    case paradox::FieldType::Memo:
    case paradox::FieldType::FormattedMemo:
    case paradox::FieldType::Blob:
    case paradox::FieldType::Ole:
    case paradox::FieldType::Graphic:
        // The size counts a 10-byte reference to the memo file after the part kept in the table.
        return u"%1, %2 bytes in the table, the rest in its .MB file"_s.arg(type).arg(
            std::max(field.size - 10, 0));
    case paradox::FieldType::Bcd:
        return u"%1, %2 decimals"_s.arg(type).arg(field.size);
    default:
        return u"%1, %2 bytes"_s.arg(type).arg(field.size);
    }
}

QStringList tableFolders(const QString& folder, const QStringList& entries)
{
    QStringList folders { files::withTrailingSeparator(folder) };
    QuietReports quiet;
    core::NoEvents noEvents;
    files::GetSubDirectories2016(folders, true, quiet, noEvents);
    // Each folder's file names, upper-cased, listed once.
    std::vector<QSet<QString>> names;
    for (const QString& candidate : std::as_const(folders)) {
        QSet<QString> upper;
        for (const QString& name : QDir(candidate).entryList(QDir::Files | QDir::Hidden | QDir::System))
            upper.insert(name.toUpper());
        names.push_back(std::move(upper));
    }
    // The n-th entry of a name is the table of that name in the n-th folder (in scan order)
    // that holds one: the listing adds them folder by folder in that order.
    QStringList found;
    QHash<QString, qsizetype> seen;
    for (const QString& entry : entries) {
        qsizetype skip = seen[entry]++;
        QString where;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].contains(entry.toUpper() + u".DB"_s) && skip-- == 0) {
                where = QDir::toNativeSeparators(files::withoutTrailingSeparator(folders[qsizetype(i)]));
                break;
            }
        }
        found << where;
    }
    return found;
}

EntryTips::EntryTips(QTreeWidget& list, std::function<QString(QTreeWidgetItem&)> tipOf)
    : QObject(&list)
    , m_list(list)
    , m_tipOf(std::move(tipOf))
{
    list.viewport()->installEventFilter(this);
}

bool EntryTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || watched != m_list.viewport())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = m_list.itemAt(help->pos());
    const QString tip = item ? m_tipOf(*item) : QString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, m_list.viewport(), m_list.visualItemRect(item));
    return true;
}

} // namespace ui
