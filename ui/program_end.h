#pragma once

namespace ui {

// Closing either window ends the program at once. During a change run the run is waiting
// in one of its yields on this same thread; returning to it would carry on to the prompts
// and the write-back, so the process ends right there instead. The Paradox table then keeps
// its old content; the work database discards the unfinished copy on its next use.
void endProgram(bool isChangeRunActive);

} // namespace ui
