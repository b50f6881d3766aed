// The process over Win32. A write to a broken pipe already fails here, there
// is no file-size signal, and the C runtime gives closed standard handles a
// null stream; what is left are the console's interrupts.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/process.h"

namespace {

volatile LONG interrupt = 0;

}  // namespace

BOOL WINAPI consoleHandler(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  // A second one ends the process at once, as the signal's default action
  // does on POSIX: no clean-up that could wait on a lock of the run's.
  if (InterlockedExchange(&interrupt, 1) != 0) {
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  }
  // A closed console ends the process as soon as this returns: the run
  // ends it first, once what it extracted is written.
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

void prepareProcess() {
  // A process started with Ctrl+C ignored is not called for it: it stays
  // ignored.
  SetConsoleCtrlHandler(consoleHandler, TRUE);
}

bool interruptCame() { return InterlockedCompareExchange(&interrupt, 0, 0) != 0; }

void endByInterrupt() { ExitProcess(STATUS_CONTROL_C_EXIT); }
