// Who may do what: printing is for anyone who reaches the server, administration
// for root on the command socket or an authenticated member of the admin group,
// and a printer's device must be a printer, never an arbitrary file.
#pragma once

#include <string>

#include <pappl/pappl.h>

struct AccessPolicy {
    std::string authService;          // PAM service that checks passwords
    std::string fileDeviceDirectory;  // real path; empty: no file: devices at all
};

// Installs the authorization callback on the system; `policy` must outlive it.
void SetAccessPolicy(pappl_system_t* system, const AccessPolicy& policy);

// Whether a printer may use `deviceUri`. A file: device must resolve, links and
// ".." followed, to a place under the policy's folder; `why` says otherwise.
bool IsDeviceAllowed(const AccessPolicy& policy, const char* deviceUri, std::string& why);
