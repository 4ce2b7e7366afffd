#include "ui/change_run_stub.h"

using namespace Qt::StringLiterals;

namespace ui {

void runChange(cleaning::ChangeRunView& view, const data::DataContext&)
{
    if (view.fieldListCount() == 0) {
        view.messageBox(u"Please select a field."_s);
        return;
    }
    view.setProgressValue(0);
    view.setProgressText(u"Progress Bar"_s);
    view.messageBox(u"Done."_s);
}

} // namespace ui
