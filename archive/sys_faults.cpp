#include "sys_faults.h"

#include <algorithm>

namespace brimlet::sys {

namespace {
FaultPlan* activePlan = nullptr;
Recorder* activeRecorder = nullptr;
}

void setFaultPlan(FaultPlan* plan) { activePlan = plan; }
void setRecorder(Recorder* recorder) { activeRecorder = recorder; }

namespace faults {

FaultPlan* active() { return activePlan; }
Recorder* recorder() { return activeRecorder; }

Fault nextCall()
{
    if (!activePlan) return Fault::None;
    ++activePlan->calls;
    if (activePlan->calls != activePlan->failAt) return Fault::None;
    activePlan->fired = true;
    if (activePlan->kill) killProcess();
    return activePlan->shortIo ? Fault::Short : Fault::Fail;
}

size_t cappedAtByteMark(size_t count)
{
    if (!activePlan || activePlan->killAfterBytes < 0) return count;
    long long left = activePlan->killAfterBytes - activePlan->bytesWritten;
    return left < static_cast<long long>(count) ? static_cast<size_t>(std::max(left, 0LL)) : count;
}

void afterWrite(ssize_t written)
{
    if (!activePlan || activePlan->killAfterBytes < 0 || written < 0) return;
    activePlan->bytesWritten += written;
    if (activePlan->bytesWritten >= activePlan->killAfterBytes) killProcess();
}

}  // namespace faults

}  // namespace brimlet::sys
