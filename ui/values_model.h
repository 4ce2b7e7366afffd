#pragma once

// The values of a field with their records, as the values view lists them: searched, sorted,
// and handed to the view a batch at a time, so that a million values cost the view only the
// rows it shows.

#include "cleaning/run_request.h"
#include "cleaning/values/value_counts.h"

#include <QAbstractTableModel>
#include <vector>

namespace ui {

class ValuesModel : public QAbstractTableModel
{
public:
    enum Column { ValueColumn, RecordsColumn };
    static constexpr int kBatch = 1000;

    explicit ValuesModel(QObject* parent = nullptr);

    // The values most records first, as they are counted.
    void setValues(std::vector<cleaning::values::ValueCount> values);
    // An invalid match (a pattern that does not compile) shows nothing; the view says why.
    void setMatch(const cleaning::values::ValueMatch& match);
    void setShowBlanks(bool isShown);

    // The value of a row, and how many values the search takes in (fetched or not).
    const cleaning::values::ValueCount& valueAt(int row) const;
    const std::vector<cleaning::values::ValueCount>& allValues() const { return m_values; }
    std::int64_t matchCount() const { return std::int64_t(m_rows.size()); }
    std::int64_t valueCount() const { return std::int64_t(m_values.size()); }
    // The text a value is shown as: its blanks marked when asked, the null and the empty text named.
    QString shownText(const cleaning::FieldValue& value) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    void sort(int column, Qt::SortOrder order) override;

private:
    void refilter();

    std::vector<cleaning::values::ValueCount> m_values; // sorted
    std::vector<std::int32_t> m_rows; // the values the search takes in, in order
    int m_fetched = 0;
    cleaning::values::ValueMatch m_match;
    int m_sortColumn = RecordsColumn;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    bool m_showBlanks = false;
};

} // namespace ui
