// The program's entry, the same on every platform.
#pragma once

// The start-up sequence: instance guard, the two forms, the message loop. Returns the exit status.
int QuintorbMain();

// One whole process: the class library's start, QuintorbMain, and the exit procedures.
int RunProcess();

// Forgets all process-wide state, as if a new process began (for tests).
void ResetProcessState();
