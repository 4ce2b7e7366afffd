#pragma once

// The statement texts hold names as they are, between backquotes or square brackets; a name
// that holds either closing delimiter would make them say something else than what is
// done, so such a name is refused.

#include <QString>

namespace data {

// The empty text for a name that can be sent, else the user's description of the problem.
QString unsafeNameProblem(const QString& name);

// Throws core::Error with that description.
void refuseUnsafeName(const QString& name);

} // namespace data
