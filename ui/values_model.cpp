#include "ui/values_model.h"

#include "ui/list_tips.h"

#include <QApplication>
#include <QFont>
#include <algorithm>

using namespace Qt::StringLiterals;
using cleaning::values::ValueCount;
using cleaning::values::ValueOrder;

namespace ui {

ValuesModel::ValuesModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void ValuesModel::setValues(std::vector<ValueCount> values)
{
    m_values = std::move(values);
    // They come most records first; sorting a million values again would cost seconds.
    if (m_sortColumn == RecordsColumn && m_sortOrder == Qt::DescendingOrder)
        refilter();
    else
        sort(m_sortColumn, m_sortOrder);
}

void ValuesModel::setMatch(const cleaning::values::ValueMatch& match)
{
    m_match = match;
    refilter();
}

void ValuesModel::setShowBlanks(bool isShown)
{
    m_showBlanks = isShown;
    if (m_fetched > 0)
        emit dataChanged(index(0, ValueColumn), index(m_fetched - 1, ValueColumn));
}

const ValueCount& ValuesModel::valueAt(int row) const
{
    return m_values[std::size_t(m_rows.at(std::size_t(row)))];
}

QString ValuesModel::shownText(const cleaning::FieldValue& value) const
{
    if (!value)
        return u"(null)"_s;
    if (value->isEmpty())
        return u"(empty)"_s;
    return m_showBlanks ? visibleBlanks(*value) : *value;
}

int ValuesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_fetched;
}

int ValuesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ValuesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_fetched)
        return {};
    const ValueCount& value = valueAt(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return index.column() == ValueColumn ? shownText(value.value) : QString::number(value.records);
    if (role == Qt::TextAlignmentRole && index.column() == RecordsColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    // The null and the empty text are named, not shown: set them apart from a value of that text.
    if (role == Qt::FontRole && index.column() == ValueColumn && (!value.value || value.value->isEmpty())) {
        QFont font;
        font.setItalic(true);
        return font;
    }
    return {};
}

QVariant ValuesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == ValueColumn ? u"Value"_s : u"Records"_s;
}

bool ValuesModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && std::size_t(m_fetched) < m_rows.size();
}

void ValuesModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const int more = int(std::min<std::size_t>(kBatch, m_rows.size() - std::size_t(m_fetched)));
    beginInsertRows({}, m_fetched, m_fetched + more - 1);
    m_fetched += more;
    endInsertRows();
}

void ValuesModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    // By count the most records come first; by value A to Z. The other order reverses it.
    const bool isByCount = column == RecordsColumn;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cleaning::values::sortValues(m_values, isByCount ? ValueOrder::ByCount : ValueOrder::ByValue);
    if ((order == Qt::AscendingOrder) == isByCount)
        std::reverse(m_values.begin(), m_values.end());
    QApplication::restoreOverrideCursor();
    refilter();
}

void ValuesModel::refilter()
{
    beginResetModel();
    m_rows.clear();
    if (m_match.isValid()) {
        for (std::size_t i = 0; i < m_values.size(); ++i) {
            if (m_match.matches(m_values[i].value))
                m_rows.push_back(std::int32_t(i));
        }
    }
    m_fetched = int(std::min<std::size_t>(kBatch, m_rows.size()));
    endResetModel();
}

} // namespace ui
