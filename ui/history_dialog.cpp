#include "ui/history_dialog.h"

#include "data/backups/run_history.h"
#include "ui/look_and_feel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

enum Column { Time, Table, Field, Operation, Answers, Records };
constexpr int kStepRole = Qt::UserRole;

QString answersText(const QStringList& answers)
{
    QStringList quoted;
    for (const QString& answer : answers)
        quoted << u'"' + answer + u'"';
    return quoted.join(u", "_s);
}

} // namespace

HistoryDialog::HistoryDialog(QWidget* parent, const QString& folder, const QString& table)
    : QDialog(parent)
    , m_folder(folder)
    , m_table(table)
    , m_list(new QTreeWidget(this))
    , m_wholeFolder(new QCheckBox(u"Every table of the folder"_s, this))
    , m_save(new QPushButton(u"&Save as Recipe..."_s, this))
{
    setObjectName(u"History"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(u"What was done, oldest first. Tick the steps to do again and save them as a "
                               "recipe."_s,
        this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_wholeFolder->setObjectName(u"WholeFolder"_s);
    layout->addWidget(m_wholeFolder);
    m_list->setObjectName(u"Runs"_s);
    m_list->setHeaderLabels(
        { u"Time"_s, u"Table"_s, u"Field"_s, u"Operation"_s, u"Answers"_s, u"Records changed"_s });
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(Time, 150);
    m_list->setColumnWidth(Table, 90);
    m_list->setColumnWidth(Field, 90);
    m_list->setColumnWidth(Operation, 300);
    m_list->setColumnWidth(Answers, 90);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_save->setObjectName(u"SaveRecipe"_s);
    buttons->addButton(m_save, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &HistoryDialog::saveRecipe);
    connect(m_wholeFolder, &QCheckBox::toggled, this, &HistoryDialog::list);
    connect(m_list, &QTreeWidget::itemChanged, this,
        [this] { m_save->setEnabled(!tickedRecipe().steps.empty()); });
    layout->addWidget(buttons);
    resize(860, 380);
    list();
}

void HistoryDialog::list()
{
    m_list->clear();
    std::vector<data::HistoryEntry> entries;
    try {
        entries = data::readHistory(m_folder, m_wholeFolder->isChecked() ? QString() : m_table);
    } catch (const std::exception&) {
        // No user data folder: no history to show.
    }
    for (const data::HistoryEntry& entry : entries) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(Time, entry.time.toString(u"yyyy-MM-dd HH:mm:ss"_s));
        item->setText(Table, entry.table);
        item->setText(Field, entry.field);
        item->setText(Operation, entry.operation);
        item->setText(Answers, answersText(entry.answers));
        item->setText(Records, QString::number(entry.recordsChanged));
        item->setTextAlignment(Records, Qt::AlignRight | Qt::AlignVCenter);
        // A restore, or an operation this program no longer has, is no step to repeat.
        if (const QJsonObject step = cleaning::recipes::historyStep(entry); !step.isEmpty()) {
            item->setData(Time, kStepRole, step);
            item->setCheckState(Time, Qt::Unchecked);
        }
    }
    m_save->setEnabled(false);
}

cleaning::recipes::Recipe HistoryDialog::tickedRecipe() const
{
    QJsonArray steps;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->checkState(Time) == Qt::Checked)
            steps.append(item->data(Time, kStepRole).toJsonObject());
    }
    if (steps.isEmpty())
        return {};
    return cleaning::recipes::parseRecipe(
        QJsonDocument(
            QJsonObject { { u"recipe"_s, cleaning::recipes::kRecipeVersion }, { u"steps"_s, steps } })
            .toJson())
        .recipe;
}

void HistoryDialog::saveRecipe()
{
    const QString path = QFileDialog::getSaveFileName(this, appTitle(), m_folder + u"/recipe.json"_s,
        u"Recipes (*.json)"_s, nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(cleaning::recipes::recipeJson(tickedRecipe())) < 0 || !file.flush()) {
        QMessageBox::warning(
            this, appTitle(), u"The recipe could not be saved in %1: %2"_s.arg(path, file.errorString()));
        return;
    }
}

} // namespace ui
