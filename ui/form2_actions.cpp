// The table and field window's tools beyond its fixed controls, reached from the lists'
// context menus so that no control of the window moves: the preview of a change, the
// previous versions of a table, and the lists' tooltips.

#include "ui/form2.h"

#include "cleaning/apply_recipe.h"
#include "cleaning/change_preview.h"
#include "cleaning/merge_run.h"
#include "cleaning/run_phases.h"
#include "ui/change_preview_dialog.h"
#include "ui/history_dialog.h"
#include "ui/list_tips.h"
#include "ui/previous_versions_dialog.h"
#include "ui/several_fields_dialog.h"
#include "ui/values_dialog.h"
#include "ui_form2.h"

#include <QAction>
#include <QScopeGuard>
#include <QStandardItemModel>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

QAction* addMenuAction(QTreeWidget& list, const char16_t* name, const QString& text)
{
    auto* action = new QAction(text, &list);
    action->setObjectName(QString::fromUtf16(name));
    list.addAction(action);
    list.setContextMenuPolicy(Qt::ActionsContextMenu);
    return action;
}

} // namespace

void Form2::setUpActions()
{
    connect(addMenuAction(*m_ui->ListView1, u"PreviousVersions", u"Previous Versions..."_s),
        &QAction::triggered, this, &Form2::showPreviousVersions);
    connect(addMenuAction(*m_ui->ListView1, u"History", u"History..."_s), &QAction::triggered, this,
        &Form2::showHistory);
    for (QTreeWidget* list : { m_ui->ListView2, m_ui->ListView3 })
        connect(addMenuAction(*list, u"PreviewChange", u"Preview Change..."_s), &QAction::triggered, this,
            &Form2::previewChange);
    connect(addMenuAction(*m_ui->ListView2, u"Values", u"Values..."_s), &QAction::triggered, this,
        &Form2::showValues);
    connect(addMenuAction(*m_ui->ListView2, u"ApplyToSeveralFields", u"Apply to Several Fields..."_s),
        &QAction::triggered, this, &Form2::applyToSeveralFields);
    m_showBlanks = addMenuAction(*m_ui->ListView3, u"ShowBlanks", u"Show Spaces, Tabs and Line Breaks"_s);
    m_showBlanks->setCheckable(true);
    connect(m_showBlanks, &QAction::toggled, this, [this] {
        for (int i = 0; i < m_ui->ListView3->topLevelItemCount(); ++i)
            showPreviewText(*m_ui->ListView3->topLevelItem(i));
    });

    new EntryTips(*m_ui->ListView1, [this](QTreeWidgetItem& item) {
        const int row = m_ui->ListView1->indexOfTopLevelItem(&item);
        if (m_tableFolders.size() != m_ui->ListView1->topLevelItemCount()) {
            QStringList names;
            for (int i = 0; i < m_ui->ListView1->topLevelItemCount(); ++i)
                names << m_ui->ListView1->topLevelItem(i)->text(0);
            m_tableFolders = tableFolders(m_listedFolder, names);
        }
        return m_tableFolders.value(row);
    });
    new EntryTips(*m_ui->ListView3, [this](QTreeWidgetItem& item) {
        const QString text = item.data(0, Qt::UserRole).toString();
        return m_showBlanks->isChecked() ? visibleBlanks(text) : text;
    });
}

void Form2::showPreviewText(QTreeWidgetItem& item)
{
    const QString text = item.data(0, Qt::UserRole).toString();
    item.setText(0, m_showBlanks && m_showBlanks->isChecked() ? visibleBlanks(text) : text);
}

void Form2::previewChange()
{
    if (m_isChanging)
        return;
    const bool wasChanging = std::exchange(m_isChanging, true);
    ChangePreviewDialog dialog(this,
        u"What \"%1\" would do to the field %2 of %3: each value that would change, and its records."_s.arg(
            operationText(), selectedField(), selectedTable()));
    const cleaning::ChangeRunResult result = cleaning::previewChange(*this,
        cleaning::RunPlaces { m_folderBox, m_environment.applicationFolder, QString() },
        [&](const cleaning::ValueChange& change) { dialog.add(change); });
    m_isChanging = wasChanging;
    if (m_isClosing || result.outcome != cleaning::ChangeRunResult::Outcome::Previewed)
        return;
    if (result.wasAbandoned) {
        messageBox(cleaning::outcomeLine(result));
        return;
    }
    dialog.finish(result);
    dialog.exec();
}

void Form2::showPreviousVersions()
{
    if (m_isChanging || selectedTable().isEmpty())
        return;
    PreviousVersionsDialog dialog(this, m_folderBox.text(), selectedTable());
    dialog.exec();
    if (!dialog.hasRestored())
        return;
    // The lists show the table as it is back now, at the field the user was looking at.
    const QString field = selectedField();
    onListClicked(m_ui->ListView1);
    const QList<QTreeWidgetItem*> found = m_ui->ListView2->findItems(field, Qt::MatchExactly);
    if (!found.isEmpty() && found.first() != m_ui->ListView2->currentItem()) {
        m_ui->ListView2->setCurrentItem(found.first());
        onListClicked(m_ui->ListView2);
    }
}

void Form2::showHistory()
{
    if (m_isChanging || selectedTable().isEmpty())
        return;
    HistoryDialog dialog(this, m_folderBox.text(), selectedTable());
    dialog.exec();
}

void Form2::applyToSeveralFields()
{
    const cleaning::Operation* operation = cleaning::findOperation(operationText());
    if (m_isChanging || !operation || selectedTable().isEmpty())
        return;
    const QString folder = m_folderBox.text();
    SeveralFieldsDialog dialog(this, folder, selectedTable(), selectedField(), *operation);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool wasChanging = std::exchange(m_isChanging, true);
    core::Procedure proc(*this, QString::fromUtf16(cleaning::kChangeRunContext));
    const std::optional<cleaning::Parameters> parameters = cleaning::askParameters(*operation, *this, proc);
    const cleaning::recipes::Recipe recipe
        = dialog.recipe(parameters ? cleaning::answerList(*operation, *parameters) : QStringList());
    if (!parameters || recipe.steps.empty()) {
        m_isChanging = wasChanging;
        return;
    }
    setBusy(true);
    cleaning::recipes::ApplyOptions options;
    options.applicationFolder = m_environment.applicationFolder;
    options.startingTable = [this](const QString& table) {
        setProgressText(u"Changing %1"_s.arg(table));
        processEvents();
    };
    QStringList report;
    bool hasFailed = false;
    for (const cleaning::recipes::TableOutcome& outcome :
        cleaning::recipes::applyRecipe(recipe, folder, options)) {
        report << cleaning::recipes::describeOutcome(outcome);
        hasFailed = hasFailed || outcome.state == cleaning::recipes::TableOutcome::State::Failed;
    }
    setBusy(false);
    setProgressText(u"Progress Bar"_s);
    m_isChanging = wasChanging;
    // "Done." only when every table is as its steps said.
    messageBox((hasFailed ? QString() : u"Done.\r\n"_s) + report.join(u"\r\n"_s));
    onListClicked(m_ui->ListView1);
}

void Form2::showValues()
{
    if (m_isChanging || selectedField().isEmpty())
        return;
    const QString table = selectedTable();
    const QString field = selectedField();
    ValuesHost host;
    host.count = [this, table, field]() -> std::optional<std::vector<cleaning::values::ValueCount>> {
        // The count yields: the controls that would start a run wait until it is done.
        const bool wasChanging = std::exchange(m_isChanging, true);
        const auto done = qScopeGuard([this, wasChanging] {
            m_isChanging = wasChanging;
            setBusy(false);
        });
        setBusy(true);
        std::optional<std::vector<cleaning::values::ValueCount>> values;
        try {
            values = cleaning::values::countFieldValues(
                m_folderBox.text(), table, field, [this](std::int64_t, std::int64_t) {
                    processEvents();
                    return !m_isClosing;
                });
        } catch (const core::Error& e) {
            messageBox(e.description());
            return std::nullopt;
        }
        return values;
    };
    // The merge reads the table and field from the lists, which the modal views keep as they are.
    host.merge = [this](const QList<cleaning::MergeRequest>& merges) {
        const bool wasChanging = std::exchange(m_isChanging, true);
        const cleaning::ChangeRunResult result = cleaning::mergeValues(
            *this, cleaning::RunPlaces { m_folderBox, m_environment.applicationFolder, QString() }, merges);
        m_isChanging = wasChanging;
        return result.outcome == cleaning::ChangeRunResult::Outcome::WrittenBack && result.recordsChanged > 0;
    };
    host.askToStop = [this] { askToStop(); };
    auto values = host.count();
    if (!values || m_isClosing)
        return;
    ValuesDialog dialog(this, table, field, std::move(*values), std::move(host));
    dialog.exec();
}

void Form2::offerOperationsFor(const QTreeWidgetItem* field)
{
    auto* model = qobject_cast<QStandardItemModel*>(m_ui->Combo1->model());
    if (!model || !field || !field->data(0, kFieldTypeRole).isValid())
        return;
    const auto type = static_cast<paradox::FieldType>(field->data(0, kFieldTypeRole).toInt());
    for (int i = 0; i < model->rowCount(); ++i) {
        const cleaning::Operation* operation = cleaning::findOperation(m_ui->Combo1->itemText(i));
        // The entry stays where it is; a run of it would only leave every value as it was.
        if (QStandardItem* item = model->item(i); item && operation)
            item->setEnabled(cleaning::isOffered(*operation, type));
    }
}

} // namespace ui
