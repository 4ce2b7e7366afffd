#pragma once

#include "cleaning/change_run_view.h"
#include "data/data_context.h"

namespace ui {

// Stands in for the change run until it is available: says what would run.
void runChange(cleaning::ChangeRunView& view, const data::DataContext& context);

} // namespace ui
