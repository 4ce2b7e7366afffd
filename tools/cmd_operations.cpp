// fieldwright-cli operations [--json]: the operations a clean can apply, with the prompts each
// asks (the --answer values a clean must give, in this order).

#include "tools/cli_support.h"
#include "tools/command_line.h"

#include "cleaning/operation_catalogue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

QString kindName(cleaning::ParameterKind kind)
{
    switch (kind) {
    case cleaning::ParameterKind::None:
        return u"none"_s;
    case cleaning::ParameterKind::Text:
        return u"text"_s;
    case cleaning::ParameterKind::TwoTexts:
        return u"two texts"_s;
    case cleaning::ParameterKind::Count:
        return u"count"_s;
    }
    return {};
}

} // namespace

int runOperations(const QStringList& args)
{
    CommandLine line(u"operations"_s, u"Lists the operations: number, caption, kind and prompts."_s);
    line.addOption({ u"json"_s, u"Writes one JSON array instead of CSV."_s });
    if (const auto status = line.parse(args))
        return *status;
    QJsonArray list;
    for (const auto& operations : { cleaning::operations(), cleaning::moreOperations() }) {
        for (const cleaning::Operation& operation : operations)
            list.append(QJsonObject { { u"number"_s, operation.position },
                { u"caption"_s, operation.captionText() }, { u"kind"_s, kindName(operation.kind) },
                { u"prompts"_s, QJsonArray::fromStringList(cleaning::operationPrompts(operation)) } });
    }
    if (line.isSet(u"json"_s)) {
        printOut(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented)).trimmed());
        return 0;
    }
    printCsvRow({ u"number"_s, u"caption"_s, u"kind"_s, u"prompts"_s });
    for (const QJsonValue& entry : std::as_const(list)) {
        const QJsonObject operation = entry.toObject();
        printCsvRow({ QString::number(operation[u"number"_s].toInt()), operation[u"caption"_s].toString(),
            operation[u"kind"_s].toString(), jsonText(operation[u"prompts"_s].toArray()) });
    }
    return 0;
}

} // namespace tools
