#pragma once

#include "cleaning/change_run_view.h"
#include "core/folder_box.h"
#include "ui/environment.h"
#include "ui/window_dialogs.h"
#include "ui/window_pointer.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

class QAction;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class Form2;
}

namespace ui {

// The table and field window: the tables of the Paradox folder, the fields of the chosen
// table, up to 101 values of the chosen field, the operation list, and "Start Changing".
// It keeps no state apart from its controls; the folder is read from the folder box at
// each use.
class Form2 : public QWidget, public cleaning::ChangeRunView
{
public:
    Form2(const core::FolderBox& folderBox, QWidget& selectionWindow, const Environment& environment);
    ~Form2() override;

    // Shows the window. The first time it loads (Form_Load); later, when the folder box
    // names another folder than the one whose tables are listed, it lists the tables anew.
    void display();
    bool isChanging() const { return m_isChanging; }

    void Form_Load();
    void ListView1_Click(); // field listing of the selected table
    void ListView2_Click(); // preview of the selected field
    void PushButton1_Click(); // the change run
    void PushButton5_Click(); // back to the database selection window
    // From the lists' context menus (form2_actions.cpp).
    void previewChange(); // what the chosen operation would do, without doing it
    void showPreviousVersions(); // the selected table's backups, and restoring one
    void showHistory(); // what was done to the selected table, and saving it as a recipe
    // Greys the operations whose result a field of this entry's type cannot hold.
    void offerOperationsFor(const QTreeWidgetItem* field);
    static constexpr int kFieldTypeRole = Qt::UserRole + 1;
    void applyToSeveralFields(); // the chosen operation on ticked fields of several tables
    void showValues(); // every value of the selected field, its variants, and merging them

    // What the change run reads and drives.
    QString selectedTable() const override;
    QString selectedField() const override;
    int fieldListCount() const override;
    QString operationText() const override;
    void setProgressValue(double percent) override;
    void setProgressText(const QString& text) override;
    void clearPreview() override;
    void addPreviewEntry(const QString& text) override;
    void setBusy(bool busy) override;
    void processEvents() override;
    void pause(float seconds) override;
    // Once the program is ending, a prompt answers Cancel and no box is shown.
    std::optional<QString> inputBox(const QString& prompt) override;
    void messageBox(const QString& text) override;
    bool askYesNo(const QString& question) override;
    void showErrorReport(const QString& report) override;

    // Closing either window ends the program. A change run that is under way stops at its
    // next yield, out of sight and without asking anything more, and writes nothing back:
    // the Paradox table keeps its old content.
    void endProgram();
    bool isClosing() const override { return m_isClosing; }
    // Esc, or closing this window, during a run that can still be stopped asks whether to stop
    // it; true once the user said yes.
    bool askToStop();
    void setStoppable(bool isStoppable) override;
    bool isStopRequested() const override { return m_isStopRequested; }

    ui::WindowPointer& pointer() { return m_pointer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Pump;
    void listTables();
    void refreshTables();
    void onListClicked(QTreeWidget* list);
    void setUpActions();
    void showPreviewText(QTreeWidgetItem& item);

    std::unique_ptr<Ui::Form2> m_ui;
    const core::FolderBox& m_folderBox;
    QWidget& m_selectionWindow;
    Environment m_environment;
    WindowDialogs m_dialogs;
    ui::WindowPointer m_pointer;
    std::unique_ptr<Pump> m_pump;
    QElapsedTimer m_sinceLastYield;
    bool m_isLoaded = false;
    bool m_isChanging = false;
    bool m_isClosing = false;
    bool m_isStoppable = false;
    bool m_isStopRequested = false;
    bool m_isAskingToStop = false;
    // The folder whose tables the table list shows.
    QString m_listedFolder;
    // A click on a list while a listing yields is taken up when the listing ends, so two
    // listings never fill the same list at once.
    bool m_isListing = false;
    QTreeWidget* m_pendingClick = nullptr;
    // The list that a key is being pressed in.
    QTreeWidget* m_keyboardList = nullptr;
    // Marks blanks in the preview's entries and tooltips; off, the entries are the values.
    QAction* m_showBlanks = nullptr;
    // The folder of each entry of the table list, found when a tooltip first asks.
    QStringList m_tableFolders;
};

} // namespace ui
