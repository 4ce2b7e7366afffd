#pragma once

// What was done to a table, or to every table of the folder, oldest first; the steps the
// user ticks are saved as a recipe that `apply` (and this window) can run again.

#include "cleaning/recipes/recipe.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QPushButton;
class QTreeWidget;

namespace ui {

class HistoryDialog : public QDialog
{
public:
    HistoryDialog(QWidget* parent, const QString& folder, const QString& table);

    // The ticked runs as a recipe, in the list's order.
    cleaning::recipes::Recipe tickedRecipe() const;

private:
    void list();
    void saveRecipe();

    QString m_folder;
    QString m_table;
    QTreeWidget* m_list;
    QCheckBox* m_wholeFolder;
    QPushButton* m_save;
};

} // namespace ui
