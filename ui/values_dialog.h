#pragma once

// Every distinct value of a field with its number of records: searched, sorted, and the way
// to merge values into one, edit one, or find the variants among them.

#include "cleaning/run_request.h"
#include "cleaning/values/value_counts.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

namespace ui {

class ValuesModel;

// What the values view needs of the window it was opened from.
struct ValuesHost
{
    // The field's values counted anew; nullopt when they could not be (the host has said why).
    std::function<std::optional<std::vector<cleaning::values::ValueCount>>()> count;
    // Runs the merges as a change run; true when the table changed.
    std::function<bool(const QList<cleaning::MergeRequest>&)> merge;
    // Esc or closing during a merge asks to stop it instead.
    std::function<void()> askToStop;
};

class ValuesDialog : public QDialog
{
public:
    ValuesDialog(QWidget* parent, const QString& table, const QString& field,
        std::vector<cleaning::values::ValueCount> values, ValuesHost host);
    ~ValuesDialog() override;

    ValuesModel& model() { return *m_model; }
    // Runs the merges and, when the table changed, lists its values anew.
    bool merge(const QList<cleaning::MergeRequest>& merges);

    void reject() override;

private:
    void search();
    void showCount();
    QList<int> selectedRows() const;
    void editValue();
    void mergeSelected();
    void findVariants();

    QString m_table;
    QString m_field;
    ValuesHost m_host;
    ValuesModel* m_model;
    QLineEdit* m_search;
    QComboBox* m_matchKind;
    QCheckBox* m_showBlanks;
    QTableView* m_view;
    QLabel* m_count;
    QTimer* m_searchDelay;
    bool m_isMerging = false;
};

} // namespace ui
