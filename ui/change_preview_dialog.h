#pragma once

// The preview of a change: each value that would change, as it is and as it would become,
// with its records, and the total. Nothing has been written when it shows.

#include "cleaning/change_preview.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace ui {

class ChangePreviewDialog : public QDialog
{
public:
    // Values beyond this many are counted but not listed: a list of a million rows helps no one.
    static constexpr int kListedValues = 10000;

    ChangePreviewDialog(QWidget* parent, const QString& heading);

    void add(const cleaning::ValueChange& change);
    // The total, once every value has been added.
    void finish(const cleaning::ChangeRunResult& result);

private:
    QTreeWidget* m_list;
    QLabel* m_total;
    std::int64_t m_values = 0;
};

} // namespace ui
