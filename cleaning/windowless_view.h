#pragma once

// The change run's view where there is no window (the command line, a recipe's steps): the
// selection is given, each prompt takes the next answer (none left is Cancel), and there is no
// bar, preview or pointer to show. What the run says is the host's to show or keep.

#include "cleaning/change_run_view.h"

#include <deque>

namespace cleaning {

class WindowlessView : public ChangeRunView
{
public:
    QString table;
    QString field;
    QString operation;
    int fieldCount = 0;
    std::deque<QString> answers;

    QString selectedTable() const override { return table; }
    QString selectedField() const override { return field; }
    int fieldListCount() const override { return fieldCount; }
    QString operationText() const override { return operation; }
    void setProgressValue(double) override { }
    void setProgressText(const QString&) override { }
    void clearPreview() override { }
    void addPreviewEntry(const QString&) override { }
    void setBusy(bool) override { }
    void processEvents() override { }
    void pause(float) override { }
    std::optional<QString> inputBox(const QString&) override
    {
        if (answers.empty())
            return std::nullopt;
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool askYesNo(const QString&) override { return false; }
};

} // namespace cleaning
