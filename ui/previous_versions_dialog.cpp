#include "ui/previous_versions_dialog.h"

#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "ui/look_and_feel.h"
#include "ui/window_dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

QString timeText(const data::Backup& backup)
{
    // A backup from before notes were kept is known by the time in its name only.
    const QDateTime time = backup.note.time.isValid()
        ? backup.note.time
        : QDateTime::fromString(backup.id.left(19), u"yyyyMMdd-HHmmss-zzz"_s);
    return time.isValid() ? time.toString(u"yyyy-MM-dd HH:mm:ss"_s) : backup.id;
}

QString operationText(const data::BackupNote& note)
{
    if (note.operation == QStringView(data::kRestoreOperation))
        return u"Restore of the version kept in %1"_s.arg(note.answers.value(0));
    QStringList answers;
    for (const QString& answer : note.answers)
        answers << u'"' + answer + u'"';
    return answers.isEmpty() ? note.operation : note.operation + u" ("_s + answers.join(u", "_s) + u')';
}

} // namespace

PreviousVersionsDialog::PreviousVersionsDialog(
    QWidget* parent, const QString& folder, const QString& table, const QString& backupRoot)
    : QDialog(parent)
    , m_folder(folder)
    , m_table(table)
    , m_backupRoot(backupRoot)
    , m_list(new QTreeWidget(this))
    , m_restore(new QPushButton(u"&Restore"_s, this))
{
    setObjectName(u"PreviousVersions"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        u"Previous versions of %1, newest first. Each is the table as it was before the change named."_s.arg(
            table),
        this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_list->setObjectName(u"Versions"_s);
    m_list->setHeaderLabels({ u"Time"_s, u"Field"_s, u"Operation"_s, u"Records changed"_s });
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, 150);
    m_list->setColumnWidth(1, 90);
    m_list->setColumnWidth(2, 310);
    m_list->setColumnWidth(3, 110);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_restore->setObjectName(u"Restore"_s);
    buttons->addButton(m_restore, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_restore, &QPushButton::clicked, this, &PreviousVersionsDialog::restoreSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
        [this] { m_restore->setEnabled(!m_list->selectedItems().isEmpty()); });
    layout->addWidget(buttons);
    resize(700, 360);
    list();
}

void PreviousVersionsDialog::list()
{
    m_list->clear();
    std::vector<data::Backup> backups;
    try {
        backups = data::listBackups(
            m_backupRoot.isEmpty() ? data::defaultBackupRoot() : m_backupRoot, m_folder, m_table);
    } catch (const core::Error&) {
        // No place for backups: there are none to list.
    }
    for (const data::Backup& backup : backups) {
        const bool isRestore = backup.note.operation == QStringView(data::kRestoreOperation);
        auto* item = new QTreeWidgetItem(m_list,
            { timeText(backup), backup.note.field, operationText(backup.note),
                isRestore || backup.note.operation.isEmpty() ? QString()
                                                             : QString::number(backup.note.recordsChanged) });
        item->setData(0, Qt::UserRole, backup.id);
        item->setToolTip(0, QDir::toNativeSeparators(backup.path));
        item->setToolTip(2, operationText(backup.note));
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (backups.empty())
        new QTreeWidgetItem(m_list, { u"No previous version of %1 is kept."_s.arg(m_table) });
    else
        m_list->setCurrentItem(m_list->topLevelItem(0)); // the newest: what "take it back" means first
    m_restore->setEnabled(!backups.empty());
}

// Going back to a version older than the newest takes back every change made since: the
// question names them, newest first as listed, so that none goes unnoticed.
QString PreviousVersionsDialog::restoreQuestion(int row) const
{
    const QTreeWidgetItem& version = *m_list->topLevelItem(row);
    QString question = u"Put %1 back as it was before the change of %2?"_s.arg(m_table, version.text(0));
    if (row > 0) {
        question
            += u"\r\nThis also takes back the %1 later change%2:"_s.arg(row).arg(row == 1 ? u""_s : u"s"_s);
        // A box taller than the screen would hide its buttons.
        constexpr int kNamed = 12;
        for (int i = 0; i < std::min(row, kNamed); ++i) {
            const QTreeWidgetItem& later = *m_list->topLevelItem(i);
            QString line = u"\r\n- "_s + later.text(0);
            if (!later.text(1).isEmpty())
                line += u", "_s + later.text(1);
            line += u": "_s + later.text(2);
            if (!later.text(3).isEmpty())
                line += u" ("_s + later.text(3) + (later.text(3) == u"1"_s ? u" record)"_s : u" records)"_s);
            question += line;
        }
        if (row > kNamed)
            question += u"\r\n- and %1 more"_s.arg(row - kNamed);
    }
    return question + u"\r\nThe table as it is now is kept as a previous version in its turn."_s;
}

void PreviousVersionsDialog::restoreSelected()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    const QString id = selected.isEmpty() ? QString() : selected.first()->data(0, Qt::UserRole).toString();
    if (id.isEmpty())
        return;
    WindowDialogs boxes(*this);
    if (!boxes.askYesNo(restoreQuestion(m_list->indexOfTopLevelItem(selected.first()))))
        return;
    const data::RestoreResult result = data::restoreBackup(m_folder, m_table, id, m_backupRoot);
    if (!result.isRestored) {
        // A problem that names the table is a whole sentence about it already.
        const bool isWholeSentence = result.problem.startsWith(u"The table "_s + m_table + u' ');
        boxes.messageBox(isWholeSentence
                ? result.problem
                : u"The table %1 was not restored: %2"_s.arg(m_table, result.problem));
        return;
    }
    m_hasRestored = true;
    boxes.messageBox(
        u"The table %1 is back as it was before the change of %2.\r\nThe version it replaced is kept in "
        "%3."_s.arg(m_table, selected.first()->text(0),
            QDir::toNativeSeparators(QDir::cleanPath(result.backupFolder))));
    list();
}

} // namespace ui
