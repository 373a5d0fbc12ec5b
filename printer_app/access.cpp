// Who may do what. PAPPL 1.3.1 lets any client administer a server that has
// neither an authentication service nor a password, remote ones through the
// web pages included; with this callback every administrative request is
// decided here. Root on the command socket never reaches it (PAPPL trusts the
// socket, which only the server's user can enter); remote clients reach it
// only over TLS (PAPPL answers 426 before asking).
#include "access.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>
#include <vector>

#include "state_saving.h"

namespace {

// ---- Passwords, checked by PAM ----

struct Credentials {
    const char* user;
    const char* password;
};

// PAM asks for the password (and may say things nobody reads): answer with
// the one the client sent.
int Converse(int count, const pam_message** messages, pam_response** responses, void* data) {
    const auto* credentials = static_cast<const Credentials*>(data);
    auto* replies = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
    if (replies == nullptr) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const int style = messages[i]->msg_style;
        if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON) {
            replies[i].resp = strdup(style == PAM_PROMPT_ECHO_OFF ? credentials->password : credentials->user);
            if (replies[i].resp == nullptr) {
                for (int j = 0; j < i; ++j) std::free(replies[j].resp);
                std::free(replies);
                return PAM_BUF_ERR;
            }
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

bool PasswordIsRight(const AccessPolicy& policy, pappl_client_t* client, const Credentials& credentials) {
    pam_conv conversation{Converse, const_cast<Credentials*>(&credentials)};
    pam_handle_t* pam = nullptr;
    int status = pam_start(policy.authService.c_str(), credentials.user, &conversation, &pam);
    if (status == PAM_SUCCESS) status = pam_set_item(pam, PAM_RHOST, papplClientGetHostName(client));
    if (status == PAM_SUCCESS) status = pam_authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT);
    if (status != PAM_SUCCESS)
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Authentication of \"%s\" failed: %s", credentials.user,
                       pam_strerror(pam, status));
    if (pam != nullptr) pam_end(pam, status);
    return status == PAM_SUCCESS;
}

// ---- Users and groups ----

bool IsMember(const char* user, gid_t group) {
    std::vector<char> buffer(16384);
    passwd entry{}, *found = nullptr;
    if (getpwnam_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
    if (found->pw_uid == 0) return true;  // root administers, as in CUPS
    if (group == static_cast<gid_t>(-1)) return false;
    if (found->pw_gid == group) return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(user, found->pw_gid, groups.data(), &count) < 0) return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<std::size_t>(i)] == group) return true;
    return false;
}

// "Basic base64(user:password)", as browsers and ipptool send it.
bool BasicCredentials(pappl_client_t* client, std::string& user, std::string& password) {
    const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (field == nullptr || std::strncmp(field, "Basic ", 6) != 0) return false;
    char decoded[512];
    int length = sizeof decoded;
    httpDecode64_2(decoded, &length, field + 6);
    const std::string text(decoded, static_cast<std::size_t>(length > 0 ? length : 0));
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    user = text.substr(0, colon);
    password = text.substr(colon + 1);
    return true;
}

// The name a client gives for itself when it does not log in, for the jobs
// it may then cancel or hold: its own, as in CUPS.
void TakeRequestingUserName(pappl_client_t* client) {
    if (papplClientGetUsername(client) != nullptr) return;
    ipp_t* request = papplClientGetRequest(client);
    ipp_attribute_t* name =
        request ? ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME) : nullptr;
    if (name != nullptr) papplClientSetUsername(client, ippGetString(name, 0, nullptr));
}

// PAPPL lets anyone who may print also stop the printer or cancel whatever
// it prints: these are an administrator's.
bool StopsOthersPrinting(pappl_client_t* client) {
    ipp_t* request = papplClientGetRequest(client);
    if (request == nullptr) return false;
    const ipp_op_t operation = ippGetOperation(request);
    return operation == IPP_OP_DISABLE_PRINTER || operation == IPP_OP_ENABLE_PRINTER ||
           operation == IPP_OP_CANCEL_CURRENT_JOB;
}

// Authenticated, and a member of `group` (root always is).
http_status_t RequireMember(const AccessPolicy& policy, pappl_client_t* client, const char* group, gid_t groupId) {
    std::string user, password;
    if (!BasicCredentials(client, user, password)) return HTTP_STATUS_UNAUTHORIZED;
    const Credentials credentials{user.c_str(), password.c_str()};
    if (!PasswordIsRight(policy, client, credentials)) return HTTP_STATUS_UNAUTHORIZED;
    if (!IsMember(credentials.user, groupId)) {
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "\"%s\" is not a member of \"%s\".", credentials.user, group);
        return HTTP_STATUS_FORBIDDEN;
    }
    papplClientSetUsername(client, credentials.user);
    char adminGroup[256] = "";
    papplSystemGetAdminGroup(papplClientGetSystem(client), adminGroup, sizeof adminGroup);
    if (std::strcmp(group, adminGroup) == 0) NoteAdministration();
    return HTTP_STATUS_CONTINUE;
}

http_status_t Authorize(pappl_client_t* client, const char* group, gid_t groupId, void* data) {
    const auto& policy = *static_cast<const AccessPolicy*>(data);
    // No group: printing, open to everyone who reaches the server.
    if ((group == nullptr || *group == '\0') && !StopsOthersPrinting(client)) {
        TakeRequestingUserName(client);
        return HTTP_STATUS_CONTINUE;
    }
    char adminGroup[256] = "";
    papplSystemGetAdminGroup(papplClientGetSystem(client), adminGroup, sizeof adminGroup);
    if (group == nullptr || *group == '\0') {
        group = adminGroup;
        std::vector<char> buffer(16384);
        struct group entry{}, *found = nullptr;
        groupId = getgrnam_r(adminGroup, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
                      ? found->gr_gid
                      : static_cast<gid_t>(-1);
    }
    return RequireMember(policy, client, group, groupId);
}

}  // namespace

void SetAccessPolicy(pappl_system_t* system, const AccessPolicy& policy) {
    papplSystemSetAuthCallback(system, "Basic", Authorize, const_cast<AccessPolicy*>(&policy));
}

bool IsDeviceAllowed(const AccessPolicy& policy, const char* deviceUri, std::string& why) {
    char scheme[32], userpass[256], host[256], resource[1024];
    int port = 0;
    if (deviceUri == nullptr ||
        httpSeparateURI(HTTP_URI_CODING_ALL, deviceUri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        why = "it is not a valid device URI";
        return false;
    }
    if (std::strcmp(scheme, "file") != 0) return true;
    if (policy.fileDeviceDirectory.empty()) {
        why = "file devices are not enabled (start the server with -o file-device-directory=DIR)";
        return false;
    }
    if (host[0] != '\0' && std::strcmp(host, "localhost") != 0) {
        why = "a file device names no host";
        return false;
    }
    if (char* query = std::strchr(resource, '?')) *query = '\0';
    // PAPPL's file device keeps 255 bytes of the path: a longer one would be
    // cut to a different place than the one checked here.
    if (std::strlen(resource) > 250 || resource[0] != '/') {
        why = "the path is not an absolute path of at most 250 bytes";
        return false;
    }
    // The place the kernel will open: the path itself when it exists, else
    // its folder (the file is created there).
    std::string path = resource;
    char real[PATH_MAX];
    std::string resolved;
    if (realpath(path.c_str(), real) != nullptr) {
        resolved = real;
    } else {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash), name = path.substr(slash + 1);
        if (name.empty() || name == "." || name == ".." || realpath(folder.c_str(), real) == nullptr) {
            why = "its folder does not exist";
            return false;
        }
        resolved = std::string(real) + "/" + name;
    }
    const std::string& allowed = policy.fileDeviceDirectory;
    if (allowed != "/" && resolved != allowed && resolved.compare(0, allowed.size() + 1, allowed + "/") != 0) {
        why = resolved + " is not under " + allowed;
        return false;
    }
    return true;
}
