#pragma once

#include "core/error_report.h"

#include <QString>
#include <exception>
#include <utility>

namespace core {

// A procedure written as its list of numbered steps. A step that fails is reported
// (with the procedure's context and the step's number) and the procedure goes on
// with the next step; a test that fails counts as passed, so the steps it guards run.
//
//     Procedure proc(sink, u"Tidewell2021/08/31.Paradox.CopyDB"_s);
//     proc.step(108, [&] { target = driveRoot() + u"TestDB"_s; });
//     if (proc.test(114, [&] { return !QFileInfo::exists(target); })) ...
class Procedure
{
public:
    Procedure(ErrorSink& sink, QString context)
        : m_sink(sink)
        , m_context(std::move(context))
    { }

    template <class Body> bool step(int line, Body&& body)
    {
        try {
            std::forward<Body>(body)();
            return true;
        } catch (const EnvironmentError& e) {
            ++m_reports;
            m_sink.reportProblem(e.description(), m_context, line);
        } catch (const Error& e) {
            report(e.description(), line);
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()), line);
        }
        return false;
    }

    template <class Condition> bool test(int line, Condition&& condition)
    {
        bool answer = true;
        step(line, [&] { answer = std::forward<Condition>(condition)(); });
        return answer;
    }

    int reportCount() const { return m_reports; }
    const QString& context() const { return m_context; }
    void report(const QString& description, int line)
    {
        ++m_reports;
        m_sink.reportError(description, m_context, line);
    }

private:
    ErrorSink& m_sink;
    QString m_context;
    int m_reports = 0;
};

} // namespace core
