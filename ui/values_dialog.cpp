#include "ui/values_dialog.h"

#include "ui/look_and_feel.h"
#include "ui/values_model.h"
#include "ui/variants_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using cleaning::values::MatchKind;

namespace ui {
namespace {

QPushButton* addButton(QDialogButtonBox& buttons, const char16_t* name, const QString& text)
{
    auto* button = new QPushButton(text, &buttons);
    button->setObjectName(QString::fromUtf16(name));
    button->setAutoDefault(false);
    buttons.addButton(button, QDialogButtonBox::ActionRole);
    return button;
}

} // namespace

ValuesDialog::ValuesDialog(QWidget* parent, const QString& table, const QString& field,
    std::vector<cleaning::values::ValueCount> values, ValuesHost host)
    : QDialog(parent)
    , m_table(table)
    , m_field(field)
    , m_host(std::move(host))
    , m_model(new ValuesModel(this))
    , m_search(new QLineEdit(this))
    , m_matchKind(new QComboBox(this))
    , m_showBlanks(new QCheckBox(u"Show spaces, tabs and line breaks"_s, this))
    , m_view(new QTableView(this))
    , m_count(new QLabel(this))
    , m_searchDelay(new QTimer(this))
{
    setObjectName(u"Values"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        u"The values of the field %1 of %2, each with its number of records."_s.arg(field, table), this);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto* searchRow = new QHBoxLayout;
    m_search->setObjectName(u"Search"_s);
    m_search->setPlaceholderText(u"Search"_s);
    m_search->setClearButtonEnabled(true);
    m_matchKind->setObjectName(u"MatchKind"_s);
    m_matchKind->addItems({ u"Plain text"_s, u"Ignoring case"_s, u"Regular expression"_s });
    m_matchKind->setCurrentIndex(1);
    m_showBlanks->setObjectName(u"ShowBlanks"_s);
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_matchKind);
    searchRow->addWidget(m_showBlanks);
    layout->addLayout(searchRow);

    m_view->setObjectName(u"ValueList"_s);
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setSectionResizeMode(ValuesModel::ValueColumn, QHeaderView::Stretch);
    m_view->horizontalHeader()->setSectionResizeMode(
        ValuesModel::RecordsColumn, QHeaderView::ResizeToContents);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(ValuesModel::RecordsColumn, Qt::DescendingOrder);
    layout->addWidget(m_view, 1);
    m_count->setObjectName(u"Count"_s);
    layout->addWidget(m_count);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(addButton(*buttons, u"FindVariants", u"Find &Variants..."_s), &QPushButton::clicked, this,
        &ValuesDialog::findVariants);
    connect(addButton(*buttons, u"EditValue", u"&Edit Value..."_s), &QPushButton::clicked, this,
        &ValuesDialog::editValue);
    connect(addButton(*buttons, u"MergeSelected", u"&Merge Selected..."_s), &QPushButton::clicked, this,
        &ValuesDialog::mergeSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // A search over a million values takes a moment: it waits for a pause in the typing.
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(200);
    connect(m_searchDelay, &QTimer::timeout, this, &ValuesDialog::search);
    connect(m_search, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_matchKind, &QComboBox::currentIndexChanged, this, &ValuesDialog::search);
    connect(m_showBlanks, &QCheckBox::toggled, m_model, &ValuesModel::setShowBlanks);
    connect(m_view, &QTableView::doubleClicked, this, &ValuesDialog::editValue);

    m_model->setValues(std::move(values));
    showCount();
    resize(620, 520);
}

ValuesDialog::~ValuesDialog() = default;

void ValuesDialog::reject()
{
    if (m_isMerging) {
        if (m_host.askToStop)
            m_host.askToStop();
        return;
    }
    QDialog::reject();
}

void ValuesDialog::search()
{
    m_searchDelay->stop();
    const auto kind = static_cast<MatchKind>(m_matchKind->currentIndex());
    m_model->setMatch(cleaning::values::ValueMatch(m_search->text(), kind));
    showCount();
}

void ValuesDialog::showCount()
{
    const cleaning::values::ValueMatch match(
        m_search->text(), static_cast<MatchKind>(m_matchKind->currentIndex()));
    if (!match.isValid())
        m_count->setText(match.problem());
    else if (m_search->text().isEmpty())
        m_count->setText(u"%1 distinct values."_s.arg(m_model->valueCount()));
    else
        m_count->setText(
            u"%1 of the %2 distinct values match."_s.arg(m_model->matchCount()).arg(m_model->valueCount()));
}

QList<int> ValuesDialog::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool ValuesDialog::merge(const QList<cleaning::MergeRequest>& merges)
{
    if (m_isMerging || !m_host.merge)
        return false;
    m_isMerging = true;
    const bool hasChanged = m_host.merge(merges);
    m_isMerging = false;
    if (hasChanged && m_host.count) {
        if (auto values = m_host.count()) {
            m_model->setValues(std::move(*values));
            showCount();
        }
    }
    return hasChanged;
}

void ValuesDialog::editValue()
{
    const QList<int> rows = selectedRows();
    if (rows.size() != 1)
        return;
    const cleaning::FieldValue value = m_model->valueAt(rows.first()).value;
    bool isOk = false;
    const QString text = QInputDialog::getText(this, appTitle(),
        u"Change %1 (%2 records) to:"_s.arg(cleaning::quotedValue(value))
            .arg(m_model->valueAt(rows.first()).records),
        QLineEdit::Normal, value.value_or(QString()), &isOk);
    if (isOk && (!value || text != *value))
        merge({ cleaning::MergeRequest { { value }, text } });
}

void ValuesDialog::mergeSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.size() < 2)
        return;
    cleaning::MergeRequest request;
    QStringList texts;
    int proposed = 0;
    std::int64_t mostRecords = -1;
    for (int row : rows) {
        const cleaning::values::ValueCount& value = m_model->valueAt(row);
        request.from << value.value;
        if (!value.value)
            continue;
        // The most frequent is proposed: it is most likely the spelling meant.
        if (value.records > mostRecords) {
            mostRecords = value.records;
            proposed = int(texts.size());
        }
        texts << *value.value;
    }
    bool isOk = false;
    request.into = QInputDialog::getItem(this, appTitle(),
        u"Merge the %1 selected values into one. The value to keep:"_s.arg(rows.size()), texts, proposed,
        true, &isOk);
    if (isOk)
        merge({ request });
}

// Of every value, whatever the search shows: a variant hides from a search by being spelt
// otherwise.
void ValuesDialog::findVariants()
{
    VariantsDialog variants(
        this, m_table, m_field, m_model->allValues(),
        [this](const QList<cleaning::MergeRequest>& merges) { return merge(merges); }, m_host.askToStop);
    variants.exec();
}

} // namespace ui
