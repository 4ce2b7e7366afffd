#include "data/paradox/read/table_problem.h"

using namespace Qt::StringLiterals;

namespace paradox {

QString TableProblem::text() const
{
    return where.isEmpty() ? u"%1: %2"_s.arg(file, what) : u"%1, %2: %3"_s.arg(file, where, what);
}

} // namespace paradox
