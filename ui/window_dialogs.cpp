#include "ui/window_dialogs.h"

#include "ui/look_and_feel.h"

#include <QInputDialog>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace ui {

std::optional<QString> WindowDialogs::inputBox(const QString& prompt)
{
    QInputDialog box(&m_owner);
    box.setWindowTitle(ui::appTitle());
    box.setInputMode(QInputDialog::TextInput);
    box.setLabelText(prompt);
    box.setTextValue(QString());
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

void WindowDialogs::messageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ui::appTitle(), text, QMessageBox::Ok, &m_owner);
    box.exec();
}

bool WindowDialogs::askYesNo(const QString& question)
{
    QMessageBox box(
        QMessageBox::NoIcon, ui::appTitle(), question, QMessageBox::Yes | QMessageBox::No, &m_owner);
    return box.exec() == QMessageBox::Yes;
}

void WindowDialogs::showErrorReport(const QString& report)
{
    QMessageBox box(QMessageBox::Warning, u"Application Error"_s, report, QMessageBox::Ok, &m_owner);
    box.exec();
}

} // namespace ui
