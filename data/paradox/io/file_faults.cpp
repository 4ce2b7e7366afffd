#include "data/paradox/io/file_faults.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace paradox::io {
namespace {

FaultPlan planFromEnvironment()
{
    FaultPlan plan;
    if (const char* at = std::getenv("FW_FAULT_AT"))
        plan.at = std::atoll(at);
    if (const char* from = std::getenv("FW_FAULT_FROM")) {
        plan.at = std::atoll(from);
        plan.lasts = true;
    }
    if (const char* at = std::getenv("FW_KILL_AT")) {
        plan.at = std::atoll(at);
        plan.kills = true;
    }
    return plan;
}

FaultPlan& plan()
{
    static FaultPlan instance = planFromEnvironment();
    return instance;
}

std::atomic<std::int64_t> s_seen = 0; // a backup's copies may run beside a write-back
QStringList* s_log = nullptr;
thread_local int t_lastFailure = 0;

} // namespace

bool mayProceed(const char* what, const QString& path)
{
    const std::int64_t seen = ++s_seen;
    if (s_log && what)
        s_log->append(
            QString::fromLatin1(what) + (path.isEmpty() ? QString() : u' ' + path.section(u'/', -1)));
    if (plan().at <= 0 || seen < plan().at || (seen > plan().at && !plan().lasts))
        return true;
    if (plan().pauses) {
        std::raise(SIGSTOP);
        return true;
    }
    if (plan().kills)
        std::raise(SIGKILL);
    errno = plan().error != 0 ? plan().error : EIO;
    return false;
}

void planFault(FaultPlan newPlan)
{
    plan() = newPlan;
    s_seen = 0;
}

bool isFaultPlanned()
{
    return plan().at > 0 || s_log != nullptr;
}

void recordOperations(QStringList* log)
{
    s_log = log;
}

std::int64_t operationsSeen()
{
    return s_seen;
}

QString failure(int error)
{
    t_lastFailure = error;
    return QString::fromLocal8Bit(std::strerror(error));
}

int takeLastFailure()
{
    return std::exchange(t_lastFailure, 0);
}

} // namespace paradox::io
