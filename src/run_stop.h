// Ending a run early: SIGINT and SIGTERM (Ctrl-C and closing the console on
// Windows) ask the run to stop; so does the run itself when it must not go
// on (a period file that exists). The pass over the input sees the request,
// ends, and the files are closed with their headers rewritten.
#ifndef VLN_RUN_STOP_H
#define VLN_RUN_STOP_H

enum StopReason { STOP_NONE = 0, STOP_SIGNAL = 1, STOP_REFUSED = 2 };

// Installs the handlers of SIGINT and SIGTERM (the console's handler on Windows).
void Stop_install_handlers();
// Why the run was asked to stop; STOP_NONE while it goes on.
int Stop_reason();
void Stop_request(int reason);
// The run has written everything: a Windows console being closed may go.
void Stop_finished();

#endif
