#include "ui/change_preview_dialog.h"

#include "ui/list_tips.h"
#include "ui/look_and_feel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ui {

ChangePreviewDialog::ChangePreviewDialog(QWidget* parent, const QString& heading)
    : QDialog(parent)
    , m_list(new QTreeWidget(this))
    , m_total(new QLabel(this))
{
    setObjectName(u"ChangePreview"_s);
    setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(heading, this);
    title->setWordWrap(true);
    layout->addWidget(title);
    m_list->setObjectName(u"Changes"_s);
    m_list->setHeaderLabels({ u"Value now"_s, u"Would become"_s, u"Records"_s });
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, 230);
    m_list->setColumnWidth(1, 230);
    m_list->setColumnWidth(2, 70);
    layout->addWidget(m_list);
    auto* legend = new QLabel(u"· a space at either end   → a tab   ↵ a line break"_s, this);
    legend->setEnabled(false);
    layout->addWidget(legend);
    m_total->setObjectName(u"Total"_s);
    m_total->setWordWrap(true);
    layout->addWidget(m_total);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(600, 420);
}

void ChangePreviewDialog::add(const cleaning::ValueChange& change)
{
    if (++m_values > kListedValues)
        return;
    auto* item = new QTreeWidgetItem(m_list,
        { change.isNull ? QString() : visibleBlanks(change.oldText), visibleBlanks(change.newText),
            QString::number(change.records) });
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setToolTip(0, change.isNull ? u"(no value)"_s : visibleBlanks(change.oldText));
    item->setToolTip(1, visibleBlanks(change.newText));
    if (!change.rejected.isEmpty()) {
        // Its records stay as they are: shown, but greyed, with the reason.
        for (int column = 0; column < 3; ++column) {
            item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(column, u"Stays as it is: "_s + change.rejected);
        }
    }
}

void ChangePreviewDialog::finish(const cleaning::ChangeRunResult& result)
{
    QString total = cleaning::outcomeLine(result);
    if (m_values > kListedValues)
        total += u" The first %1 of these %2 values are listed."_s.arg(kListedValues).arg(m_values);
    m_total->setText(total + u" Nothing has been changed yet."_s);
}

} // namespace ui
