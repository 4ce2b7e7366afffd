#include "data/paradox/check/table_check_report.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace paradox {

QString TableCheck::summary() const
{
    if (problems.empty())
        return u"ok"_s;
    QStringList texts;
    for (const TableProblem& problem : problems)
        texts.push_back(problem.text());
    return u"damaged: "_s + texts.join(u"; "_s);
}

} // namespace paradox
