// The fault-injection seam shared by both system-call layers: each wrapper
// asks `nextCall()` whether the installed FaultPlan makes this call fail.
// Internal to sys_posix.cpp and sys_windows.cpp.
#pragma once

#include "sys.h"

#include <cerrno>

namespace brimlet::sys::faults {

enum class Fault { None, Fail, Short };

FaultPlan* active();
// Counts the call; kills the process when the plan says so.
Fault nextCall();
// For calls that move bytes: a short transfer moves half (at least nothing).
inline size_t shortened(size_t count) { return count / 2; }
// With a byte mark set, a write is cut at the mark; `afterWrite` then ends
// the process, as a power cut in the middle of the write would.
size_t cappedAtByteMark(size_t count);
void afterWrite(ssize_t written);
// Ends the process at once, as a crash would.
[[noreturn]] void killProcess();

// The installed Recorder, or nullptr.
Recorder* recorder();

inline int planError() { return active() && active()->error ? active()->error : EIO; }

}  // namespace brimlet::sys::faults

namespace brimlet::sys {
// The names every wrapper of the two implementations uses.
using faults::Fault;
using faults::nextCall;
using faults::shortened;
using faults::cappedAtByteMark;
using faults::afterWrite;
}  // namespace brimlet::sys

#define BRIMLET_FAIL_IF_PLANNED(fault)                    \
    if ((fault) == ::brimlet::sys::faults::Fault::Fail) { \
        errno = ::brimlet::sys::faults::planError();      \
        return -1;                                        \
    }
