#include "ui/program_end.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace ui {

void endProgram(bool isChangeRunActive)
{
    if (isChangeRunActive) {
        // Settings are written as they change, so nothing is lost by skipping the unwinding.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::quit();
}

} // namespace ui
