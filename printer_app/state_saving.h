// When the state file is written: after administrative changes and at
// shutdown, never for a job alone.
#pragma once

#include <string>

#include <pappl/pappl.h>

// Installs the policy on a system that is not running yet; PATH is the state
// file papplSystemLoadState read. It takes PAPPL's save and event callbacks.
void SaveStateOnChanges(pappl_system_t* system, const std::string& path);

// The authorization code calls this each time it grants an administrator a
// request: what changes in the seconds after is saved.
void NoteAdministration();
