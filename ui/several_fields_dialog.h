#pragma once

// "Apply to Several Fields...": the fields of every table of the folder, to tick; the chosen
// operation then runs on each ticked field as one recipe (its prompts asked once, one backup
// per table, each table all or nothing).

#include "cleaning/recipes/recipe.h"

#include <QDialog>
#include <QString>

class QTreeWidget;

namespace ui {

class SeveralFieldsDialog : public QDialog
{
public:
    // The field `field` of `table` starts ticked.
    SeveralFieldsDialog(QWidget* parent, const QString& folder, const QString& table, const QString& field,
        const cleaning::Operation& operation);

    void setTicked(const QString& table, const QString& field, bool isTicked);
    // One step per table that has ticked fields, with the operation and these answers.
    cleaning::recipes::Recipe recipe(const QStringList& answers) const;

private:
    const cleaning::Operation& m_operation;
    QTreeWidget* m_tree;
};

} // namespace ui
