#pragma once

// What every use of pxlib in the tests starts with.

extern "C" {
#include <paradox.h>
}

namespace testsupport {

// PX_boot() once per process, with the "C" locale back afterwards: PX_boot takes the locale
// from the environment, which changes the decimal point pxlib uses for BCD text.
void bootPxlib();

// An error handler for PX_new3 that appends every message to the QString its data points at.
void collectPxlibMessages(pxdoc_t* doc, int level, const char* message, void* data);

} // namespace testsupport
