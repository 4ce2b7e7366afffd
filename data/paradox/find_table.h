#pragma once

#include <QString>

namespace paradox {

// The entry of `folder` whose name equals fileName ignoring case, as a full path; an exact
// match wins over others. Empty when there is none.
QString findFileIgnoringCase(const QString& folder, const QString& fileName);

} // namespace paradox
