#include "cleaning/run_request.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace cleaning {

QString quotedValue(const FieldValue& value)
{
    if (!value)
        return u"(null)"_s;
    QString text = *value;
    return u'"' + text.replace(u'"', u"\"\""_s) + u'"';
}

QString patternProblem(const QString& pattern)
{
    const QRegularExpression expression(pattern, QRegularExpression::UseUnicodePropertiesOption);
    if (expression.isValid())
        return {};
    return u"The pattern %1 is not a valid regular expression: %2 at character %3."_s.arg(
        quotedValue(pattern), expression.errorString(), QString::number(expression.patternErrorOffset() + 1));
}

QString limitProblem(const RecordLimit& limit)
{
    return limit.pattern.isEmpty() ? QString() : patternProblem(limit.pattern);
}

QString limitNote(const RecordLimit& limit)
{
    QStringList values;
    for (const FieldValue& value : limit.values)
        values << quotedValue(value);
    QString note = u"Only the records of "_s;
    if (!values.isEmpty())
        note += u"the values "_s + values.join(u", "_s);
    if (!values.isEmpty() && !limit.pattern.isEmpty())
        note += u" and of "_s;
    if (!limit.pattern.isEmpty())
        note += u"the values matching "_s + limit.pattern;
    return note;
}

QString mergeProblem(const QList<MergeRequest>& merges)
{
    if (merges.isEmpty())
        return u"There is nothing to merge: no values were given."_s;
    QHash<QString, QString> intoByText;
    std::optional<QString> intoForNull;
    for (const MergeRequest& merge : merges) {
        if (merge.from.isEmpty())
            return u"There is nothing to merge into %1: no values were given."_s.arg(quotedValue(merge.into));
        for (const FieldValue& from : merge.from) {
            std::optional<QString> earlier = intoForNull;
            if (from) {
                const auto found = intoByText.constFind(*from);
                earlier = found == intoByText.cend() ? std::nullopt : std::optional<QString>(*found);
            }
            if (earlier && *earlier != merge.into)
                return u"The value %1 cannot be merged into both %2 and %3."_s.arg(
                    quotedValue(from), quotedValue(*earlier), quotedValue(merge.into));
            if (from)
                intoByText.insert(*from, merge.into);
            else
                intoForNull = merge.into;
        }
    }
    return {};
}

QStringList mergeNote(const QList<MergeRequest>& merges)
{
    QStringList note;
    for (const MergeRequest& merge : merges) {
        QStringList from;
        for (const FieldValue& value : merge.from)
            from << quotedValue(value);
        note << from.join(u", "_s) + u" into "_s + quotedValue(merge.into);
    }
    return note;
}

} // namespace cleaning
