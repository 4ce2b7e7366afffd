#pragma once

#include "core/dialogs.h"

#include <QWidget>

namespace ui {

// The boxes of a window: modal, owned by the window, with the application title. Only the
// error report has an icon (a warning) and a title of its own.
class WindowDialogs : public core::Dialogs
{
public:
    explicit WindowDialogs(QWidget& owner)
        : m_owner(owner)
    { }

    std::optional<QString> inputBox(const QString& prompt) override;
    void messageBox(const QString& text) override;
    bool askYesNo(const QString& question) override;
    void showErrorReport(const QString& report) override;

private:
    QWidget& m_owner;
};

} // namespace ui
