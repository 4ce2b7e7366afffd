#pragma once

// Tooltips of the table and field window's lists: a field's type and size, the folder a
// table was found in (tables of sub-folders may share a name), and, when asked for, a
// preview value with its blanks made visible.

#include "data/paradox/paradox.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

namespace ui {

// The text with its easily missed characters marked: a space at either end as "·", a tab as
// "→", a line break as "↵" (CR LF as one). Spaces between words stay spaces.
QString visibleBlanks(const QString& text);

// "Alpha, 40 characters", "Memo, 20 bytes in the table, the rest in its .MB file", "Long, 4 bytes".
QString fieldTip(const paradox::Field& field);

// The folders the table list's entries were found in, in the order the listing gives them,
// for `folder` (the folder box's text). Scanned again here rather than kept by the listing:
// only a tooltip needs them, and only when one is asked for.
QStringList tableFolders(const QString& folder, const QStringList& entries);

// Shows the tooltip that tipOf gives for the entry under the pointer (none when it gives the
// empty text), computed only when the tooltip is asked for.
class EntryTips : public QObject
{
public:
    EntryTips(QTreeWidget& list, std::function<QString(QTreeWidgetItem&)> tipOf);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget& m_list;
    std::function<QString(QTreeWidgetItem&)> m_tipOf;
};

} // namespace ui
