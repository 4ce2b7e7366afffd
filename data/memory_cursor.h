#pragma once

// A cursor over rows held in memory: the table list and the work database's snapshots.

#include "data/backend.h"

#include <QStringList>
#include <vector>

namespace data {

class MemoryCursor : public Cursor
{
public:
    struct Column
    {
        QString name;
        int type = 0;
    };

    MemoryCursor(std::vector<Column> columns, std::vector<std::vector<QVariant>> rows)
        : m_columns(std::move(columns))
        , m_rows(std::move(rows))
    { }

    int fieldCount() const override { return static_cast<int>(m_columns.size()); }
    QString fieldName(int index) const override { return m_columns.at(static_cast<std::size_t>(index)).name; }
    int fieldType(int index) const override { return m_columns.at(static_cast<std::size_t>(index)).type; }
    bool atEnd() const override { return m_position >= m_rows.size(); }
    std::int64_t recordCount() const override { return static_cast<std::int64_t>(m_rows.size()); }
    bool isNull(int index) const override { return cell(index).isNull(); }
    QVariant value(int index) const override { return cell(index); }
    QString valueText(int index) const override;
    void moveNext() override;
    bool moveFirst() override
    {
        m_position = 0;
        return true;
    }

private:
    const QVariant& cell(int index) const;

    std::vector<Column> m_columns;
    std::vector<std::vector<QVariant>> m_rows;
    std::size_t m_position = 0;
};

} // namespace data
