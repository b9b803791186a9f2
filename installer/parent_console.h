// Standard output and error for a GUI-subsystem program started from cmd or PowerShell.
#pragma once

// Attaches to the console of the parent process and points stdout and stderr at it, each
// only when it is not already redirected (a pipe or file given by a script stays in use).
// Without a parent console nothing changes.
void UseParentConsole();
