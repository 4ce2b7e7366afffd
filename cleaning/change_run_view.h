#pragma once

#include "core/dialogs.h"

#include <QString>

namespace cleaning {

// What the change run needs of the table and field window. The window implements it;
// the command line and the tests have their own.
class ChangeRunView : public core::Dialogs
{
public:
    virtual QString selectedTable() const = 0; // the selected entry of the table list
    virtual QString selectedField() const = 0; // the selected entry of the field list
    virtual int fieldListCount() const = 0; // the number of entries of the field list
    virtual QString operationText() const = 0; // the current text of the operation list

    virtual void setProgressValue(double percent) = 0;
    virtual void setProgressText(const QString& text) = 0;

    virtual void clearPreview() = 0;
    virtual void addPreviewEntry(const QString& text) = 0;

    virtual void setBusy(bool busy) = 0; // the window's pointer: hourglass or normal
    virtual void processEvents() = 0; // let the window handle pending events
    // The 0.1 s breathing pause of the change loop. The window waits (core::Pause);
    // a host without a window may return at once.
    virtual void pause(float seconds) = 0;
    // True once the user has closed the window during one of the run's yields: the run
    // then stops without writing back, so the table keeps its old content.
    virtual bool isClosing() const { return false; }
    // A stop the user asked for (Esc, or closing the window, and Yes). The run asks for it by
    // setStoppable(true) when it starts and gives it up by setStoppable(false) as the
    // write-back begins; in between, a stop request ends the run at its next yield with nothing
    // written and nothing kept. Hosts that cannot ask keep the defaults.
    virtual void setStoppable(bool) { }
    virtual bool isStopRequested() const { return false; }
};

} // namespace cleaning
