// Signals: CUPS's cancel, and the keep-alive filler on PLATFORM_C and PLATFORM_Z.
#pragma once

// Termination handler (sets Canceled).
void InstallTerminationHandler();

// Keep-alive: two zero bytes to the printer every 10 seconds between commands.
void StartKeepAlive();

// The keep-alive writes only while g_ismiddlepage is 0. The routing raises it
// with every send; these two are the only places that set it otherwise.
// Between commands: standard output is flushed, so no command stands half
// written, and the filler may come.
void BetweenCommands();
// From the end of the job on no filler comes any more.
void NoMoreFillers();
