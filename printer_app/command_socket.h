// The command socket: PAPPL trusts every client on it as the server's own user,
// so it lies in a folder only that user can enter, one folder per server.
#pragma once

#include <string>

// The folder of a root server's socket when none is named: the client
// sub-commands look for the server there.
inline constexpr char kDefaultSocketDirectory[] = "/run/norvex-printer-app";

// Makes the client sub-commands of this process look for a root server's
// socket in the default folder. Call before papplMainloop.
void UseDefaultSocketDirectory();

// For a server: creates `folder` (mode 0700, owned by us; a link or another
// owner is refused), refuses to start when a server already answers on its
// socket, and makes PAPPL listen there. A server not run as root keeps PAPPL's
// socket under TMPDIR, which is its user's own. False with `error` set.
bool PrepareSocketDirectory(const std::string& folder, const char* appName, std::string& error);
