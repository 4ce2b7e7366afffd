#pragma once

// The variants among a field's values: values that are probably one thing spelt in several
// ways, grouped by the method the user chooses. Each group proposes its most frequent value;
// the user may type another, and ticks the groups to merge.

#include "cleaning/run_request.h"
#include "cleaning/values/clusters.h"

#include <QDialog>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QSpinBox;
class QTreeWidget;

namespace ui {

class VariantsDialog : public QDialog
{
public:
    // merge runs the merges and answers whether the table changed.
    using Merge = std::function<bool(const QList<cleaning::MergeRequest>&)>;

    // askToStop: Esc or closing during a merge asks to stop it instead.
    VariantsDialog(QWidget* parent, const QString& table, const QString& field,
        std::vector<cleaning::values::ValueCount> values, Merge merge, std::function<void()> askToStop);

    void reject() override;

    void findClusters();
    // The merges the ticked groups stand for, into the value each shows to keep.
    QList<cleaning::MergeRequest> tickedMerges() const;

private:
    cleaning::values::ClusterOptions options() const;
    void showMethodSize();
    void mergeTicked();

    std::vector<cleaning::values::ValueCount> m_values;
    Merge m_merge;
    std::function<void()> m_askToStop;
    bool m_isMerging = false;
    QComboBox* m_method;
    QLabel* m_sizeLabel;
    QSpinBox* m_size;
    QTreeWidget* m_clusters;
    QLabel* m_count;
};

} // namespace ui
