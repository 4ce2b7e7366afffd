#pragma once

// The previous versions of a table (the backups its write-backs and restores kept), newest
// first, and the way back to one of them.

#include <QDialog>
#include <QString>

class QPushButton;
class QTreeWidget;

namespace ui {

class PreviousVersionsDialog : public QDialog
{
public:
    // backupRoot empty: the default place.
    PreviousVersionsDialog(
        QWidget* parent, const QString& folder, const QString& table, const QString& backupRoot = {});

    // True once a version has been put back: the window's lists show the table anew.
    bool hasRestored() const { return m_hasRestored; }

private:
    void list();
    void restoreSelected();
    QString restoreQuestion(int row) const;

    QString m_folder;
    QString m_table;
    QString m_backupRoot;
    QTreeWidget* m_list;
    QPushButton* m_restore;
    bool m_hasRestored = false;
};

} // namespace ui
