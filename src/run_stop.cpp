// The stop request, set from a signal handler (or the Windows console's
// handler thread) and read by the converting thread.
#include "run_stop.h"

#include <csignal>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

volatile sig_atomic_t Reason = STOP_NONE;

#ifdef _WIN32
HANDLE Finished;

// Runs on a thread of its own; after a close event Windows ends the process
// when the handler returns, so it waits (a few seconds at most) until the
// files are closed.
BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
      event != CTRL_SHUTDOWN_EVENT)
    return FALSE;
  Reason = STOP_SIGNAL;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(Finished, 4500);
  return TRUE;
}
#else
extern "C" void on_signal(int) { Reason = STOP_SIGNAL; }
#endif

}  // namespace

void Stop_install_handlers() {
#ifdef _WIN32
  Finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(on_console_event, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;  // a read in progress goes on; the pass sees the request
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

int Stop_reason() { return Reason; }

void Stop_request(int reason) {
  if (Reason == STOP_NONE) Reason = reason;
}

void Stop_finished() {
#ifdef _WIN32
  if (Finished != nullptr) SetEvent(Finished);
#endif
}
