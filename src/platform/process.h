// The process around a run: the standard descriptors, the signals, and the
// interrupts (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: Ctrl+C, Ctrl+Break,
// a closed console). An interrupt does not end a run at once: its handler
// only notes it, the run stops at its next block, writes out what it
// extracted and ends as the interrupt would have ended it. A second
// interrupt ends the process at once.
#pragma once

// Makes the process safe to run before any file is opened: standard
// descriptors that are closed are opened on the null device (so that no
// input or output takes their place), a closed pipe or a file-size limit
// turns into a failed write instead of a signal that ends the process, and
// interrupts are noted instead of ending it. An interrupt that was ignored
// when the program started (nohup) stays ignored.
void prepareProcess();

// True once an interrupt has come.
bool interruptCame();

// Ends the process as the interrupt that came would have ended it: by that
// signal on POSIX, with STATUS_CONTROL_C_EXIT on Windows.
[[noreturn]] void endByInterrupt();

#ifdef _WIN32
// The console handler (a BOOL WINAPI routine), which prepareProcess sets:
// for a console event (0 Ctrl+C, 1 Ctrl+Break, 2 a closed console) it notes
// the interrupt, or ends the process at once when one came before; false
// for any other event. The system calls it in a thread of its own for each
// event and, for a closed console, ends the process once it returns: then
// it does not return, and the run ends the process when it is done.
int __stdcall consoleHandler(unsigned long event);
#endif
