#include "data/preview.h"

namespace data {

void readPreview(core::Procedure& proc, const PreviewSteps& steps, core::ValueCursor& values, core::EventPump& events,
    const std::function<void(const QString& text, bool isNull)>& add)
{
    int counter = 0;
    proc.step(steps.firstYield, [&] { events.processEvents(); });
    while (proc.test(steps.test, [&] { return !values.atEnd(); })) {
        proc.step(steps.yield, [&] { events.processEvents(); });
        if (!proc.step(steps.add, [&] { add(values.text(), values.isNull()); }))
            break;
        if (!proc.step(steps.move, [&] { values.moveNext(); }))
            break;
        if (++counter > kPreviewLimit)
            break;
    }
}

} // namespace data
