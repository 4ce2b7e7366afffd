#pragma once

#include "core/error_report.h"

#include <QString>
#include <optional>

namespace core {

// The boxes a procedure shows the user. The windows show real modal boxes with the
// application title; the command line answers from its arguments; tests from a script.
class Dialogs : public ErrorSink
{
public:
    // An input box with OK and Cancel and an empty default answer; nullopt means Cancel,
    // which is not the same as OK with an empty answer.
    virtual std::optional<QString> inputBox(const QString& prompt) = 0;
    // An information message: OK only, no icon.
    virtual void messageBox(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& question) = 0;
};

// Lets the window system handle pending events at a procedure's yield points.
// A host without windows does nothing here.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

class NoEvents : public EventPump
{
public:
    void processEvents() override { }
};

} // namespace core
