#pragma once

#include "core/folder_box.h"
#include "ui/window_pointer.h"
#include "ui/environment.h"
#include "ui/window_dialogs.h"

#include <QWidget>
#include <memory>

namespace Ui {
class Form1;
}

namespace ui {

class Form2;

// The database selection window: the folder box that holds the Paradox folder, browse,
// sample database, connection test and "Next >". It exists for the whole run and is only
// hidden and shown again; it creates the table and field window the first time that is shown.
class Form1 : public QWidget, public core::FolderBox
{
public:
    explicit Form1(const Environment& environment);
    ~Form1() override;

    // The start sequence: skin, caption, icon, application title, hover cursor, the remembered
    // folder, and the table and field window at once when that folder exists.
    void Form_Load();
    // True when the start sequence moved on to the table and field window.
    bool hasMovedOn() const;

    // The folder box. setText goes through the box's change handling, which saves the folder.
    QString text() const override;
    void setText(const QString& text) override;

    void PushButton1_Click(); // load sample
    void PushButton2_Click(); // test connection
    void PushButton3_Click(); // next
    void PushButton5_Click(); // browse

    Form2* form2() const { return m_form2.get(); }
    ui::WindowPointer& pointer() { return m_pointer; }
    core::Dialogs& dialogs() { return m_dialogs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Text1_Change();
    void CopyDB(bool isSample);
    void showForm2();

    std::unique_ptr<Ui::Form1> m_ui;
    Environment m_environment;
    WindowDialogs m_dialogs;
    ui::WindowPointer m_pointer;
    std::unique_ptr<Form2> m_form2;
};

} // namespace ui
