#include "ui/several_fields_dialog.h"

#include "cleaning/apply_recipe.h"
#include "data/paradox_folder.h"
#include "ui/look_and_feel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ui {

SeveralFieldsDialog::SeveralFieldsDialog(QWidget* parent, const QString& folder, const QString& table,
    const QString& field, const cleaning::Operation& operation)
    : QDialog(parent)
    , m_operation(operation)
    , m_tree(new QTreeWidget(this))
{
    setObjectName(u"SeveralFields"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(u"Tick the fields that \"%1\" should change. Each table is changed all or "
                               "nothing, with one backup."_s.arg(operation.captionText()),
        this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_tree->setObjectName(u"Fields"_s);
    m_tree->setHeaderLabels({ u"Table and field"_s });
    layout->addWidget(m_tree);
    QStringList tables;
    try {
        tables = cleaning::recipes::tablesOf(folder);
    } catch (const std::exception&) {
        // A folder that cannot be read lists nothing to tick.
    }
    for (const QString& name : tables) {
        auto* tableItem = new QTreeWidgetItem(m_tree, { name });
        try {
            for (const paradox::Field& f : data::tableFields(folder, name)) {
                auto* fieldItem = new QTreeWidgetItem(tableItem, { f.name });
                fieldItem->setCheckState(0, Qt::Unchecked);
            }
        } catch (const std::exception& e) {
            tableItem->setToolTip(0, QString::fromUtf8(e.what()));
            tableItem->setDisabled(true);
        }
    }
    setTicked(table, field, true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, 480);
}

void SeveralFieldsDialog::setTicked(const QString& table, const QString& field, bool isTicked)
{
    for (int t = 0; t < m_tree->topLevelItemCount(); ++t) {
        QTreeWidgetItem* tableItem = m_tree->topLevelItem(t);
        if (tableItem->text(0).compare(table, Qt::CaseInsensitive) != 0)
            continue;
        for (int f = 0; f < tableItem->childCount(); ++f) {
            if (tableItem->child(f)->text(0).compare(field, Qt::CaseInsensitive) == 0) {
                tableItem->child(f)->setCheckState(0, isTicked ? Qt::Checked : Qt::Unchecked);
                tableItem->setExpanded(true);
            }
        }
    }
}

cleaning::recipes::Recipe SeveralFieldsDialog::recipe(const QStringList& answers) const
{
    cleaning::recipes::Recipe recipe;
    for (int t = 0; t < m_tree->topLevelItemCount(); ++t) {
        const QTreeWidgetItem* tableItem = m_tree->topLevelItem(t);
        cleaning::recipes::RecipeStep step;
        step.table = tableItem->text(0);
        step.operation = &m_operation;
        step.answers = answers;
        for (int f = 0; f < tableItem->childCount(); ++f) {
            if (tableItem->child(f)->checkState(0) == Qt::Checked)
                step.fields.names.append(tableItem->child(f)->text(0));
        }
        if (!step.fields.names.isEmpty())
            recipe.steps.push_back(step);
    }
    return recipe;
}

} // namespace ui
