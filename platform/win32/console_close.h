// What closing the console asks of the backend's waits. Windows ends the
// process 5 s after the close, whatever its handler does, so the run cannot
// wait for the step under way: a wait under way when the close comes, and
// every wait after it, ends at once, until the run answers the close by
// undoing its changes (HeldInterruptions::Answer); the undo's waits then
// share what is left of 4 s from the close.
#pragma once

#include "platform/win32/win32_api.h"

namespace zephrane {

// Waits for `object` (nullptr: a pause) at most `milliseconds`, less as a
// close allows; true when `object` was signalled.
bool WaitUnlessClosed(HANDLE object, DWORD milliseconds);

// False once a close leaves no time to wait.
bool MayWait();

// The handler a hold of interruptions gives the system, which calls it on a
// thread of its own (tests call it so: Wine sends no close event).
BOOL WINAPI OnConsoleEvent(DWORD event);

}  // namespace zephrane
