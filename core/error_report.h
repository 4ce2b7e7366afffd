#pragma once

#include <QString>
#include <exception>

namespace core {

// A failure that a procedure's step raises. Its description is what the user reads
// in the error report, so it says which file, which thing and what was wrong.
class Error : public std::exception
{
public:
    explicit Error(QString description);
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// A failure of the machine, not of the program: no space left, a name too long, an I/O error,
// no permission. The user can mend it, so its description names the file and what to do, and
// it is shown as it is, without the error report's request for a screenshot.
class EnvironmentError : public Error
{
public:
    using Error::Error;
};

// Throws an error of the same kind as e (an EnvironmentError stays one) with this description:
// for a layer that adds what its failure means to the table.
[[noreturn]] void throwLike(const Error& e, const QString& description);

// Throws the failure of a file call whose errno is error: an EnvironmentError that adds what
// to do when the machine failed (no space, a name too long, an I/O error, no permission),
// otherwise an Error. failure names the call and the file; outcome, when given, follows as its
// own sentence and says what became of the table.
[[noreturn]] void throwFileError(int error, const QString& failure, const QString& outcome = {});

// The address the error report asks the user to write to.
inline constexpr char16_t kSupportAddress[] = u"support@fieldwright.example";

// The error report's text, exactly: description, CR LF, "in " + context + " ",
// "at line " + step, CR CR, the request to mail a screenshot.
// context is for example "Tidewell2021/08/31.Form2.PushButton1_Click".
QString errorReportText(const QString& description, const QString& context, int line);

// Where error reports go: a warning box titled "Application Error" in the windows,
// standard error on the command line, a list in the tests.
class ErrorSink
{
public:
    virtual ~ErrorSink() = default;
    virtual void showErrorReport(const QString& report) = 0;
    // A failing step: by default its report's text, exactly as the windows show it.
    virtual void reportError(const QString& description, const QString& context, int line)
    {
        showErrorReport(errorReportText(description, context, line));
    }
    // A failing step whose cause is an EnvironmentError: its description alone.
    virtual void reportProblem(const QString& description, const QString& /*context*/, int /*line*/)
    {
        showErrorReport(description);
    }
};

} // namespace core
