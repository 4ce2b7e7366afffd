#pragma once

// The boxes and the table-and-field window as logic sees them, scripted for tests: prompts
// take the next answer (a null QString, or none left, is Cancel), Yes/No questions the next
// yes/no, and everything shown is logged in order.

#include "cleaning/change_run_view.h"
#include "core/dialogs.h"
#include "tests/support/print_qt.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <ostream>

namespace testsupport {

class ScriptedView : public cleaning::ChangeRunView
{
public:
    // The window's selection.
    QString table;
    QString field;
    int fields = 1;
    QString operation;

    std::deque<QString> answers;
    std::deque<bool> yesNo;

    QStringList log; // every visible effect, in order
    QStringList prompts;
    QStringList messages;
    QStringList questions;
    QStringList reports;
    QStringList preview;
    QList<double> progress;
    bool isBusy = false;
    bool closing = false;
    bool isStoppable = false;
    bool stopRequested = false;
    std::function<void()> onPause;

    QString selectedTable() const override { return table; }
    QString selectedField() const override { return field; }
    int fieldListCount() const override { return fields; }
    QString operationText() const override { return operation; }
    void setProgressValue(double percent) override
    {
        progress << percent;
        log << QStringLiteral("progress %1").arg(percent);
    }
    void setProgressText(const QString& text) override { log << QStringLiteral("bar text ") + text; }
    void clearPreview() override { preview.clear(); }
    void addPreviewEntry(const QString& text) override { preview << text; }
    void setBusy(bool busy) override
    {
        isBusy = busy;
        log << (busy ? QStringLiteral("busy") : QStringLiteral("normal"));
    }
    void processEvents() override { }
    void pause(float) override
    {
        if (onPause)
            onPause();
    }
    bool isClosing() const override { return closing; }
    // As the window does: a new run starts with no stop asked for.
    void setStoppable(bool stoppable) override
    {
        isStoppable = stoppable;
        if (stoppable)
            stopRequested = false;
    }
    bool isStopRequested() const override { return stopRequested; }
    std::optional<QString> inputBox(const QString& prompt) override
    {
        prompts << prompt;
        log << QStringLiteral("prompt ") + prompt;
        if (answers.empty())
            return std::nullopt;
        const QString answer = answers.front();
        answers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }
    void messageBox(const QString& text) override
    {
        messages << text;
        log << QStringLiteral("message ") + text;
    }
    bool askYesNo(const QString& question) override
    {
        questions << question;
        log << QStringLiteral("question ") + question;
        if (yesNo.empty())
            return false;
        const bool answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }
    void showErrorReport(const QString& report) override
    {
        reports << report;
        log << QStringLiteral("report ") + report;
    }
};

} // namespace testsupport
