// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

// Makes SIGTERM, SIGHUP and SIGINT (the session ending, kill, Ctrl+C in a terminal) end the
// application as its Exit command does: the running decoders are ended at once, the event loop
// returns 0, and the normal way out removes the temporary files. A signal that was ignored when
// the process started (nohup) stays ignored. Call once, after the application object exists.
void quitOnTerminationSignals();

#endif
