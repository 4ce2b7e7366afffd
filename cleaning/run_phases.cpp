#include "cleaning/run_phases.h"

#include "data/paradox_folder.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/safety/table_checks.h"
#include "data/statements.h"
#include "data/table_copy.h"

#include <QUuid>

using namespace Qt::StringLiterals;

namespace cleaning {

bool RunProgress::isDue(std::int64_t done, std::int64_t total)
{
    const std::int64_t every = std::max<std::int64_t>(1, total / 100);
    return done % every == 0 || done + 1 >= total;
}

void RunProgress::copying(std::int64_t done, std::int64_t total)
{
    if (!isDue(done, total))
        return;
    m_view.setProgressValue(total > 0 ? double(done) / double(total) * 100.0 : 0.0);
    m_view.setProgressText(u"Copying record %1 of %2"_s.arg(done + 1).arg(total));
}

// The bar goes back to where the run found it (0, as every run leaves it) and stays there
// through the prompts: a full bar would say that the work is done before it has begun.
void RunProgress::copied(std::int64_t total)
{
    m_view.setProgressValue(0.0);
    m_view.setProgressText(u"Copied %1 records"_s.arg(total));
}

void RunProgress::changing(const QString& verb, std::int64_t index, std::int64_t count)
{
    if (isDue(index, count))
        m_view.setProgressText(u"%1 value %2 of %3"_s.arg(verb).arg(index + 1).arg(count));
}

void RunProgress::writingBack(std::int64_t done, std::int64_t total)
{
    m_view.setProgressValue(total > 0 ? double(done) / double(total) * 100.0 : 0.0);
    m_view.setProgressText(u"Writing back"_s);
    // The write-back has no yield of its own: without this the bar would not show it.
    m_view.processEvents();
}

RunPhases::RunPhases(ChangeRunView& view, const RunPlaces& places, const char16_t* context, RecordLimit limit,
    QList<MergeRequest> merges)
    : m_view(view)
    , m_places(places)
    , m_events(view)
    , m_proc(view, QString::fromUtf16(context))
    , m_progress(view)
    , m_runId(QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_limit(std::move(limit))
    , m_merges(std::move(merges))
{ }

data::DataContext RunPhases::dataContext()
{
    data::DataContext context { m_folder, m_places.applicationFolder, m_view, m_events, m_places.backupRoot,
        m_runId };
    if (m_operation) {
        context.operation = m_operation->captionText();
        if (m_parameters)
            context.answers = answerList(*m_operation, *m_parameters);
    }
    if (!m_merges.isEmpty())
        context.answers = mergeNote(m_merges);
    if (m_limit.isSet())
        context.answers << limitNote(m_limit);
    if (m_place.isFound()) {
        context.place = &m_place;
        context.claim = m_tableLock ? &*m_tableLock : nullptr;
    }
    context.history = m_history;
    context.progress = [this](data::DataContext::Stage stage, std::int64_t done, std::int64_t total) {
        if (stage == data::DataContext::Stage::Copying)
            m_progress.copying(done, total);
        else
            m_progress.writingBack(done, total);
    };
    return context;
}

bool RunPhases::takeInputs()
{
    m_proc.step(100, [&] {
        m_folder = m_places.folderBox.text();
        m_table = m_view.selectedTable();
        m_field = m_view.selectedField();
        m_operationText = m_view.operationText();
    });
    if (m_proc.test(104, [&] { return m_view.fieldListCount() == 0; })) {
        m_proc.step(756, [&] { m_view.messageBox(u"Please select a field."_s); });
        m_result.outcome = ChangeRunResult::Outcome::NoFields;
        return false;
    }
    QString problem = limitProblem(m_limit);
    if (problem.isEmpty() && !m_merges.isEmpty())
        problem = mergeProblem(m_merges);
    if (!problem.isEmpty()) {
        m_result.outcome = ChangeRunResult::Outcome::Refused;
        m_result.problem = problem;
        m_proc.step(756, [&] { m_view.messageBox(problem); });
        return false;
    }
    prepareRequest();
    return true;
}

void RunPhases::prepareRequest()
{
    if (m_limit.isSet())
        m_result.recordsInLimit = 0;
    for (const FieldValue& value : m_limit.values) {
        if (value)
            m_limitTexts.insert(*value);
        else
            m_limitTakesNull = true;
    }
    if (!m_limit.pattern.isEmpty())
        m_limitPattern = QRegularExpression(m_limit.pattern, QRegularExpression::UseUnicodePropertiesOption);
    for (const MergeRequest& merge : m_merges) {
        for (const FieldValue& from : merge.from) {
            if (from)
                m_mergeInto.insert(*from, merge.into);
            else
                m_nullInto = merge.into;
        }
    }
    if (!m_merges.isEmpty()) {
        m_operation = &mergeOperation();
        m_parameters = Parameters {};
    }
}

bool RunPhases::askBeforeCopy()
{
    if (!m_merges.isEmpty())
        return true;
    const Operation* operation = findOperation(m_operationText);
    if (!operation || !asksBeforeCopy(*operation))
        return true;
    m_operation = operation;
    m_proc.step(operation->firstStep, [] {});
    m_parameters = askParameters(*operation, m_view, m_proc);
    m_result.wasAbandoned = !m_parameters.has_value();
    return m_parameters.has_value();
}

bool RunPhases::isInLimit(const data::DistinctValue& value) const
{
    if (!m_limit.isSet())
        return true;
    if (value.isNull)
        return m_limitTakesNull;
    return m_limitTexts.contains(value.text)
        || (!m_limit.pattern.isEmpty() && m_limitPattern.match(value.text).hasMatch());
}

std::optional<QString> RunPhases::newTextOf(const data::DistinctValue& value)
{
    if (!isInLimit(value))
        return std::nullopt;
    if (m_limit.isSet())
        m_result.recordsInLimit += value.rows;
    if (m_merges.isEmpty())
        return applyOperation(*m_operation, *m_parameters, value.text);
    if (value.isNull)
        return m_nullInto;
    const auto into = m_mergeInto.constFind(value.text);
    return into == m_mergeInto.cend() ? std::nullopt : std::optional<QString>(*into);
}

// Another run of the program (another window, the command line) may be between its copy and
// its write-back: its work tables are not this run's to replace.
bool RunPhases::claimWorkDatabase(bool mustBeWritable)
{
    QString refusal;
    try {
        // The lock first: only the run that holds it may judge (and set aside) the database.
        m_lock.emplace(m_places.applicationFolder);
        refusal = m_lock->problem();
        if (refusal.isEmpty()) {
            if (const QString notice = data::checkWorkDatabase(m_places.applicationFolder); !notice.isEmpty())
                m_view.messageBox(notice);
            // A write-back that a kill or a power cut interrupted is finished before anything else.
            for (const QString& notice :
                data::finishAllInterruptedWriteBacks() + data::finishInterruptedWriteBacks(m_folder))
                m_view.messageBox(notice);
        }
        // A table that could not be written back is said so now, not after the copy and the
        // change. (A table that cannot be found is left to the copy to report.)
        m_place = paradox::findTablePlace(m_folder, m_table);
        if (mustBeWritable && refusal.isEmpty() && m_place.isFound()) {
            m_tableLock.emplace(m_place);
            refusal = m_tableLock->problem();
            if (refusal.isEmpty())
                refusal = data::writeBackRefusal(m_place.dbPath);
        }
    } catch (const core::Error& e) {
        refusal = e.description();
    }
    if (refusal.isEmpty()) {
        m_proc.step(106, [&] { m_view.setBusy(true); });
        return true;
    }
    m_result.outcome = ChangeRunResult::Outcome::Refused;
    m_result.problem = refusal;
    m_proc.step(756, [&] { m_view.messageBox(refusal); });
    return false;
}

// Writing back after an incomplete copy would replace the user's table with part of it.
bool RunPhases::copyIn()
{
    data::CopyResult copy;
    m_proc.step(108, [&] { copy = data::sendTableToAccess(m_table, dataContext()); });
    m_result.recordCount = copy.recordsExpected;
    if (copy.isComplete) {
        m_progress.copied(copy.recordsCopied);
        return true;
    }
    m_result.outcome = ChangeRunResult::Outcome::CopyFailed;
    m_result.problem = copy.problem;
    m_proc.step(714, [&] { m_view.setBusy(false); });
    resetProgress();
    m_proc.step(756, [&] {
        m_view.messageBox(u"The table "_s + m_table
            + u" was left unchanged: it could not be copied completely into the work database."_s
            + (copy.problem.isEmpty() ? QString() : u"\r\n"_s + copy.problem));
    });
    return false;
}

void RunPhases::queryDistinctValues()
{
    m_proc.step(112, [&] { m_database.emplace(m_places.applicationFolder); });
    std::int64_t count = 0;
    m_proc.step(114, [&] {
        data::notifyWorkStatement(data::distinctQuery(m_table, m_field));
        if (!m_database)
            throw core::Error(u"The work database is not open."_s);
        m_work.emplace(data::WorkTable::open(*m_database, m_table));
        m_column = m_work->columnIndex(m_field);
        if (m_column < 0)
            throw core::Error(m_database->failure(u"the table %1 has no field %2."_s.arg(m_table, m_field)));
        count = m_work->snapshotDistinctValues(m_column);
    });
    m_proc.step(122, [&] { m_lastIndex = static_cast<std::int32_t>(count - 1); });
    // No values at all: nothing to ask, nothing to change.
    if (!m_proc.test(124, [&] { return count == 0; }) && !m_operation)
        m_operation = findOperation(m_operationText);
}

void RunPhases::chooseAndAsk()
{
    // Asked before the copy already, or a merge, which asks nothing.
    if (!m_operation || m_parameters)
        return;
    m_proc.step(m_operation->firstStep, [] {});
    m_parameters = askParameters(*m_operation, m_view, m_proc);
    m_result.wasAbandoned = !m_parameters.has_value();
}

bool RunPhases::isClosed()
{
    // Closed during a yield: the program is ending. The work table is left for the next copy
    // to drop; the Paradox table keeps its old content.
    if (m_view.isClosing())
        m_result.outcome = ChangeRunResult::Outcome::Closed;
    return m_view.isClosing();
}

void RunPhases::resetProgress()
{
    m_proc.step(716, [&] {
        m_view.setProgressValue(0);
        m_view.setProgressText(u"Progress Bar"_s);
    });
}

QStringList answerList(const Operation& operation, const Parameters& parameters)
{
    switch (operation.kind) {
    case ParameterKind::None:
        return {};
    case ParameterKind::Text:
    case ParameterKind::Count:
        return { parameters.first };
    case ParameterKind::TwoTexts:
        return { parameters.first, parameters.second };
    }
    return {};
}

} // namespace cleaning
