#pragma once

#include <QString>

namespace data {

// Hands a statement sent to the work database to the observer set with setStatementObserver.
void notifyWorkStatement(const QString& sql);

} // namespace data
