#pragma once

// The preview: up to 101 values of one field, as the field window, the change run and the
// command line show them, read from a Paradox table or from a work table.

#include "core/dialogs.h"
#include "core/procedure.h"
#include "core/value_cursor.h"

#include <QString>
#include <functional>
#include <memory>

namespace data {

// The preview's loop stops once its counter exceeds this: it shows 101 values.
inline constexpr int kPreviewLimit = 100;

// The step numbers a procedure gives the preview's loop.
struct PreviewSteps
{
    int firstYield; // let the window work once before the loop
    int test; // the end-of-values test
    int yield; // let the window work, once per value
    int add; // show the value
    int move; // on to the next value
};

// Reads up to 101 values from values, handing each to add (text, is it a null). A failing
// step is reported through proc under its number; a value that cannot be read or passed
// ends the preview, as the next one would fail the same way.
void readPreview(core::Procedure& proc, const PreviewSteps& steps, core::ValueCursor& values, core::EventPump& events,
    const std::function<void(const QString& text, bool isNull)>& add);

} // namespace data
