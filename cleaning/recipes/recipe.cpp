#include "cleaning/recipes/recipe.h"

#include "cleaning/run_request.h"
#include "data/backups/run_history.h"
#include "data/paradox/paradox.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <deque>

using namespace Qt::StringLiterals;

namespace cleaning::recipes {
namespace {

// A recipe is a few steps; anything much larger is no recipe, and is not read whole.
constexpr qint64 kLargestRecipe = 1024 * 1024;

constexpr char16_t kEvery[] = u"*";
constexpr char16_t kEveryAlpha[] = u"*alpha";
constexpr char16_t kEveryText[] = u"*text";

// Answers the operation's prompts from the step, and notes what the operation made of them.
class StepAnswers : public core::Dialogs
{
public:
    explicit StepAnswers(const QStringList& answers)
        : m_answers(answers.begin(), answers.end())
    { }
    std::optional<QString> inputBox(const QString& prompt) override
    {
        prompts.append(prompt);
        if (m_answers.empty())
            return std::nullopt;
        QString answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void messageBox(const QString& text) override { problem = text; }
    bool askYesNo(const QString&) override { return false; }
    void showErrorReport(const QString&) override { }
    void reportError(const QString& description, const QString&, int) override { problem = description; }

    QStringList prompts;
    QString problem;
    std::size_t unused() const { return m_answers.size(); }

private:
    std::deque<QString> m_answers;
};

// The step's answers must be exactly those its operation asks for, and acceptable to it: the
// same check a run makes at its prompts, so a recipe never stops half-way on a bad answer.
QString answersProblem(const RecipeStep& step)
{
    StepAnswers dialogs(step.answers);
    core::Procedure proc(dialogs, QString());
    const auto parameters = askParameters(*step.operation, dialogs, proc);
    const QString operation = u"operation %1"_s.arg(step.operation->position);
    if (!parameters && dialogs.problem.isEmpty() && !dialogs.prompts.isEmpty())
        return u"%1 asks \"%2\"; the step gives no answer to it"_s.arg(operation, dialogs.prompts.last());
    if (!parameters)
        return u"%1 does not accept the answers %2: %3"_s.arg(
            operation, step.answers.join(u", "_s), dialogs.problem);
    if (dialogs.unused() > 0)
        return u"%1 asks %2 question(s), but the step gives %3 answers"_s.arg(operation)
            .arg(dialogs.prompts.size())
            .arg(step.answers.size());
    return {};
}

const Operation* operationOf(const QJsonValue& value, QString* problem)
{
    const QJsonObject object = value.toObject();
    const QJsonValue number = object.value(u"number"_s);
    const QJsonValue caption = object.value(u"caption"_s);
    const Operation* byCaption = caption.isString() ? findOperation(caption.toString()) : nullptr;
    const Operation* byNumber = number.isDouble() ? operationAt(number.toInt(-1)) : nullptr;
    if (caption.isString() && !byCaption)
        *problem = u"no operation is called \"%1\""_s.arg(caption.toString());
    else if (number.isDouble() && !byNumber)
        *problem = u"no operation has the number %1"_s.arg(number.toVariant().toString());
    else if (byCaption && byNumber && byCaption != byNumber)
        *problem = u"operation %1 is \"%2\", not \"%3\""_s.arg(byNumber->position)
                       .arg(byNumber->captionText(), caption.toString());
    else if (!byCaption && !byNumber)
        *problem = u"the operation is missing (give its number and caption)"_s;
    return problem->isEmpty() ? (byCaption ? byCaption : byNumber) : nullptr;
}

FieldSet fieldSetOf(const QJsonValue& value, QString* problem)
{
    FieldSet set;
    if (value.isArray()) {
        for (const QJsonValue name : value.toArray()) {
            if (!name.isString() || name.toString().isEmpty()) {
                *problem = u"a field list holds something that is not a field name"_s;
                return set;
            }
            set.names.append(name.toString());
        }
    } else if (value == QJsonValue(QString::fromUtf16(kEvery))) {
        set.kind = FieldSet::Kind::Every;
    } else if (value == QJsonValue(QString::fromUtf16(kEveryAlpha))) {
        set.kind = FieldSet::Kind::EveryAlpha;
    } else if (value == QJsonValue(QString::fromUtf16(kEveryText))) {
        set.kind = FieldSet::Kind::EveryText;
    } else if (value.isString() && !value.toString().isEmpty()) {
        set.names.append(value.toString());
    }
    if (set.kind == FieldSet::Kind::Named && set.names.isEmpty() && problem->isEmpty())
        *problem = u"the field is missing (a name, a list of names, \"*\", \"*alpha\" or \"*text\")"_s;
    return set;
}

// A text, or null for the null value.
bool readValues(const QJsonValue& value, QList<FieldValue>* values)
{
    for (const QJsonValue item : value.toArray()) {
        if (item.isNull())
            values->append(std::nullopt);
        else if (item.isString())
            values->append(item.toString());
        else
            return false;
    }
    return value.isArray();
}

QJsonArray valuesJson(const QList<FieldValue>& values)
{
    QJsonArray array;
    for (const FieldValue& value : values)
        array.append(value ? QJsonValue(*value) : QJsonValue());
    return array;
}

bool readLimit(const QJsonValue& value, RecordLimit* limit, QString* problem)
{
    const QJsonObject object = value.toObject();
    if ((object.contains(u"values"_s) && !readValues(object.value(u"values"_s), &limit->values))
        || (object.contains(u"match"_s) && !object.value(u"match"_s).isString())) {
        *problem = u"the limit is not {\"values\": [texts or null], \"match\": \"pattern\"}"_s;
        return false;
    }
    limit->pattern = object.value(u"match"_s).toString();
    *problem = limitProblem(*limit);
    if (problem->isEmpty() && !limit->isSet())
        *problem = u"the limit takes in no record"_s;
    return problem->isEmpty();
}

bool readMerges(const QJsonValue& value, QList<MergeRequest>* merges, QString* problem)
{
    for (const QJsonValue item : value.toArray()) {
        const QJsonObject object = item.toObject();
        MergeRequest merge;
        merge.into = object.value(u"into"_s).toString();
        if (!object.value(u"into"_s).isString() || !readValues(object.value(u"values"_s), &merge.from)) {
            *problem = u"a merge is not {\"into\": \"text\", \"values\": [texts or null]}"_s;
            return false;
        }
        merges->append(merge);
    }
    return true;
}

QString stepProblem(const QJsonValue& value, RecipeStep* step)
{
    if (!value.isObject())
        return u"it is not an object"_s;
    const QJsonObject object = value.toObject();
    static const QStringList known { u"table"_s, u"field"_s, u"operation"_s, u"answers"_s, u"merge"_s,
        u"limit"_s };
    for (const QString& key : object.keys()) {
        if (!known.contains(key))
            return u"it has \"%1\", which this version of the program does not know"_s.arg(key);
    }
    step->table = object.value(u"table"_s).toString();
    if (step->table.isEmpty())
        return u"the table is missing (a table as `tables` prints it, or \"*\")"_s;
    QString problem;
    step->fields = fieldSetOf(object.value(u"field"_s), &problem);
    if (!problem.isEmpty())
        return problem;
    if (object.contains(u"limit"_s) && !readLimit(object.value(u"limit"_s), &step->limit, &problem))
        return problem;
    if (object.contains(u"merge"_s)) {
        if (object.contains(u"operation"_s) || object.contains(u"answers"_s))
            return u"a step is a merge or an operation, not both"_s;
        if (!readMerges(object.value(u"merge"_s), &step->merges, &problem))
            return problem;
        return mergeProblem(step->merges);
    }
    step->operation = operationOf(object.value(u"operation"_s), &problem);
    if (!problem.isEmpty())
        return problem;
    for (const QJsonValue answer : object.value(u"answers"_s).toArray()) {
        if (!answer.isString())
            return u"an answer is not a text"_s;
        step->answers.append(answer.toString());
    }
    return answersProblem(*step);
}

} // namespace

QStringList FieldSet::pick(const std::vector<paradox::Field>& fields, QStringList* missing) const
{
    QStringList picked;
    using paradox::FieldType;
    for (const paradox::Field& field : fields) {
        const bool isAlpha = field.type == FieldType::Alpha;
        const bool isText
            = isAlpha || field.type == FieldType::Memo || field.type == FieldType::FormattedMemo;
        if (kind == Kind::Every || (kind == Kind::EveryAlpha && isAlpha)
            || (kind == Kind::EveryText && isText))
            picked.append(field.name);
    }
    for (const QString& name : names) {
        const auto found = std::find_if(fields.begin(), fields.end(),
            [&](const paradox::Field& field) { return field.name.compare(name, Qt::CaseInsensitive) == 0; });
        if (found == fields.end())
            missing->append(name);
        else if (!picked.contains(found->name))
            picked.append(found->name);
    }
    return picked;
}

QString FieldSet::describe() const
{
    switch (kind) {
    case Kind::Every:
        return u"every field"_s;
    case Kind::EveryAlpha:
        return u"every Alpha field"_s;
    case Kind::EveryText:
        return u"every Alpha and Memo field"_s;
    case Kind::Named:
        break;
    }
    return names.join(u", "_s);
}

QString RecipeStep::describe() const
{
    return isMerge() ? mergeNote(merges).join(u"; "_s) : operation->captionText();
}

bool RecipeStep::takesTable(const QString& name) const
{
    return isForEveryTable() || table.compare(name, Qt::CaseInsensitive) == 0;
}

ParsedRecipe parseRecipe(const QByteArray& json)
{
    ParsedRecipe parsed;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (document.isNull() || !document.isObject()) {
        parsed.problem = u"the recipe is not a JSON object (%1)"_s.arg(error.errorString());
        return parsed;
    }
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(u"recipe"_s);
    if (!version.isDouble()) {
        parsed.problem = u"this is no recipe: it has no \"recipe\" version number"_s;
        return parsed;
    }
    if (version.toInt(-1) != kRecipeVersion) {
        parsed.problem = u"the recipe is of version %1; this program reads version %2"_s.arg(
            version.toVariant().toString(), QString::number(kRecipeVersion));
        return parsed;
    }
    const QJsonArray steps = object.value(u"steps"_s).toArray();
    if (steps.isEmpty()) {
        parsed.problem = u"the recipe has no steps"_s;
        return parsed;
    }
    for (qsizetype i = 0; i < steps.size(); ++i) {
        RecipeStep step;
        if (const QString problem = stepProblem(steps.at(i), &step); !problem.isEmpty()) {
            parsed.problem = u"step %1: %2"_s.arg(i + 1).arg(problem);
            parsed.recipe.steps.clear();
            return parsed;
        }
        parsed.recipe.steps.push_back(std::move(step));
    }
    return parsed;
}

ParsedRecipe readRecipeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { {}, u"cannot read the recipe %1: %2"_s.arg(path, file.errorString()) };
    if (file.size() > kLargestRecipe)
        return { {}, u"the recipe %1 is over 1 MB, which no recipe needs"_s.arg(path) };
    ParsedRecipe parsed = parseRecipe(file.read(kLargestRecipe));
    if (!parsed.problem.isEmpty())
        parsed.problem = path + u": "_s + parsed.problem;
    return parsed;
}

QJsonObject stepJson(const RecipeStep& step)
{
    QJsonValue fields;
    switch (step.fields.kind) {
    case FieldSet::Kind::Every:
        fields = QString::fromUtf16(kEvery);
        break;
    case FieldSet::Kind::EveryAlpha:
        fields = QString::fromUtf16(kEveryAlpha);
        break;
    case FieldSet::Kind::EveryText:
        fields = QString::fromUtf16(kEveryText);
        break;
    case FieldSet::Kind::Named:
        fields = step.fields.names.size() == 1 ? QJsonValue(step.fields.names.first())
                                               : QJsonValue(QJsonArray::fromStringList(step.fields.names));
        break;
    }
    QJsonObject object { { u"table"_s, step.table }, { u"field"_s, fields } };
    if (step.isMerge()) {
        QJsonArray merges;
        for (const MergeRequest& merge : step.merges)
            merges.append(QJsonObject { { u"into"_s, merge.into }, { u"values"_s, valuesJson(merge.from) } });
        object.insert(u"merge"_s, merges);
    } else {
        object.insert(u"operation"_s,
            QJsonObject {
                { u"number"_s, step.operation->position }, { u"caption"_s, step.operation->captionText() } });
        object.insert(u"answers"_s, QJsonArray::fromStringList(step.answers));
    }
    if (step.limit.isSet()) {
        QJsonObject limit;
        if (!step.limit.values.isEmpty())
            limit.insert(u"values"_s, valuesJson(step.limit.values));
        if (!step.limit.pattern.isEmpty())
            limit.insert(u"match"_s, step.limit.pattern);
        object.insert(u"limit"_s, limit);
    }
    return object;
}

QByteArray recipeJson(const Recipe& recipe)
{
    QJsonArray steps;
    for (const RecipeStep& step : recipe.steps)
        steps.append(stepJson(step));
    return QJsonDocument(QJsonObject { { u"recipe"_s, kRecipeVersion }, { u"steps"_s, steps } })
        .toJson(QJsonDocument::Indented);
}

QJsonObject historyStep(const data::HistoryEntry& entry)
{
    if (!entry.recipeStep.isEmpty())
        return entry.recipeStep;
    const Operation* operation = findOperation(entry.operation);
    if (!operation || entry.field.isEmpty())
        return {};
    RecipeStep step;
    step.table = entry.table;
    step.fields.names = QStringList { entry.field };
    step.operation = operation;
    step.answers = entry.answers;
    return stepJson(step);
}

Parameters stepParameters(const RecipeStep& step)
{
    return { step.answers.value(0), step.answers.value(1) };
}

} // namespace cleaning::recipes
