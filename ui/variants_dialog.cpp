#include "ui/variants_dialog.h"

#include "ui/list_tips.h"
#include "ui/look_and_feel.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using cleaning::values::ClusterMethod;
using cleaning::values::PhoneticKey;

namespace ui {
namespace {

// The entries of the method list, in order.
enum Method { Fingerprint, NGram, PhoneticEnglish, PhoneticGerman, EditDistance };

constexpr int kMembersRole = Qt::UserRole; // a group's values, as the merge takes them

} // namespace

VariantsDialog::VariantsDialog(QWidget* parent, const QString& table, const QString& field,
    std::vector<cleaning::values::ValueCount> values, Merge merge, std::function<void()> askToStop)
    : QDialog(parent)
    , m_values(std::move(values))
    , m_merge(std::move(merge))
    , m_askToStop(std::move(askToStop))
    , m_method(new QComboBox(this))
    , m_sizeLabel(new QLabel(this))
    , m_size(new QSpinBox(this))
    , m_clusters(new QTreeWidget(this))
    , m_count(new QLabel(this))
{
    setObjectName(u"Variants"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* heading
        = new QLabel(u"Values of the field %1 of %2 that are probably the same. Tick the groups to "
                     "merge; double-click a group to type another value to keep."_s.arg(field, table),
            this);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto* methodRow = new QHBoxLayout;
    m_method->setObjectName(u"Method"_s);
    m_method->addItems({ u"Fingerprint (case, spaces, punctuation, word order, accents)"_s,
        u"N-gram fingerprint (spacing inside words)"_s, u"Sounds alike (English names)"_s,
        u"Sounds alike (German names)"_s, u"Edit distance (typing errors)"_s });
    m_size->setObjectName(u"Size"_s);
    auto* find = new QPushButton(u"&Find"_s, this);
    find->setObjectName(u"Find"_s);
    find->setAutoDefault(false);
    methodRow->addWidget(m_method, 1);
    methodRow->addWidget(m_sizeLabel);
    methodRow->addWidget(m_size);
    methodRow->addWidget(find);
    layout->addLayout(methodRow);

    m_clusters->setObjectName(u"Clusters"_s);
    m_clusters->setHeaderLabels({ u"Value to keep / values"_s, u"Records"_s });
    m_clusters->header()->setStretchLastSection(false);
    m_clusters->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_clusters->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_clusters->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    layout->addWidget(m_clusters, 1);
    m_count->setObjectName(u"Count"_s);
    layout->addWidget(m_count);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* mergeButton = new QPushButton(u"&Merge Ticked"_s, buttons);
    mergeButton->setObjectName(u"MergeTicked"_s);
    mergeButton->setAutoDefault(false);
    buttons->addButton(mergeButton, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(mergeButton, &QPushButton::clicked, this, &VariantsDialog::mergeTicked);
    connect(find, &QPushButton::clicked, this, &VariantsDialog::findClusters);
    connect(m_method, &QComboBox::currentIndexChanged, this, &VariantsDialog::showMethodSize);
    layout->addWidget(buttons);

    showMethodSize();
    resize(640, 520);
    findClusters();
}

void VariantsDialog::showMethodSize()
{
    const int method = m_method->currentIndex();
    const bool hasSize = method == NGram || method == EditDistance;
    m_sizeLabel->setVisible(hasSize);
    m_size->setVisible(hasSize);
    if (method == NGram) {
        m_sizeLabel->setText(u"Letters:"_s);
        m_size->setRange(1, 8);
        m_size->setValue(2);
    } else if (method == EditDistance) {
        m_sizeLabel->setText(u"Edits at most:"_s);
        m_size->setRange(1, 4);
        m_size->setValue(1);
    }
}

cleaning::values::ClusterOptions VariantsDialog::options() const
{
    cleaning::values::ClusterOptions options;
    switch (m_method->currentIndex()) {
    case NGram:
        options.method = ClusterMethod::NGram;
        options.ngramSize = m_size->value();
        break;
    case PhoneticEnglish:
    case PhoneticGerman:
        options.method = ClusterMethod::Phonetic;
        options.phonetic
            = m_method->currentIndex() == PhoneticGerman ? PhoneticKey::German : PhoneticKey::English;
        break;
    case EditDistance:
        options.method = ClusterMethod::Levenshtein;
        options.radius = m_size->value();
        break;
    default:
        options.method = ClusterMethod::Fingerprint;
    }
    return options;
}

void VariantsDialog::findClusters()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The window repaints while a large field is searched.
    const auto found = cleaning::values::findClusters(m_values, options(), [](double) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    });
    QApplication::restoreOverrideCursor();
    m_clusters->clear();
    if (!found)
        return;
    for (const cleaning::values::Cluster& cluster : *found) {
        auto* group
            = new QTreeWidgetItem(m_clusters, { cluster.proposed, QString::number(cluster.records()) });
        group->setFlags(group->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        group->setCheckState(0, Qt::Unchecked);
        group->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        QVariantList members;
        for (const cleaning::values::ValueCount& member : cluster.members) {
            // What tells the members apart is often a blank: it is marked, as the preview marks it.
            auto* item = new QTreeWidgetItem(
                group, { visibleBlanks(member.value.value_or(QString())), QString::number(member.records) });
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            members << member.value.value_or(QString());
        }
        group->setData(0, kMembersRole, members);
        group->setExpanded(true);
    }
    m_count->setText(found->empty() ? u"No variants found with this method."_s
                                    : u"%1 groups of variants."_s.arg(found->size()));
}

QList<cleaning::MergeRequest> VariantsDialog::tickedMerges() const
{
    QList<cleaning::MergeRequest> merges;
    for (int i = 0; i < m_clusters->topLevelItemCount(); ++i) {
        const QTreeWidgetItem& group = *m_clusters->topLevelItem(i);
        if (group.checkState(0) != Qt::Checked)
            continue;
        cleaning::MergeRequest merge;
        merge.into = group.text(0);
        // Clusters never hold the null or the empty text, so every member is a text.
        for (const QVariant& member : group.data(0, kMembersRole).toList()) {
            if (member.toString() != merge.into)
                merge.from << member.toString();
        }
        if (!merge.from.isEmpty())
            merges << merge;
    }
    return merges;
}

void VariantsDialog::mergeTicked()
{
    const QList<cleaning::MergeRequest> merges = tickedMerges();
    if (merges.isEmpty() || !m_merge || m_isMerging)
        return;
    m_isMerging = true;
    const bool hasChanged = m_merge(merges);
    m_isMerging = false;
    if (hasChanged)
        accept();
}

void VariantsDialog::reject()
{
    if (!m_isMerging)
        QDialog::reject();
    else if (m_askToStop)
        m_askToStop();
}

} // namespace ui
