// Device listing that survives a missing DNS-SD daemon. PAPPL 1.3.1's "dnssd"
// scheme browses through an Avahi client it never checks: with no D-Bus the
// process aborts on an assertion, and with D-Bus but no avahi-daemon it
// returns holding its DNS-SD lock, so that the next registration hangs. Every
// listing PAPPL makes (the web's add-printer page, Find-Devices, the devices
// command) calls papplDeviceList through the dynamic linker; this definition,
// exported from the executable, takes its place and asks for network printers
// only while the daemon answers.
#include <avahi-client/client.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <cstdio>
#include <dlfcn.h>

#include <pappl/pappl.h>

namespace {

using DeviceListFunction = bool (*)(pappl_devtype_t, pappl_device_cb_t, void*, pappl_deverror_cb_t, void*);

// Without AVAHI_CLIENT_NO_FAIL the client is made only when the daemon is
// running and answers on the system bus.
bool DaemonAnswers() {
    AvahiSimplePoll* poll = avahi_simple_poll_new();
    if (poll == nullptr) return false;
    int error = 0;
    AvahiClient* client = avahi_client_new(
        avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0),
        [](AvahiClient*, AvahiClientState, void*) {}, nullptr, &error);
    const bool answers = client != nullptr && avahi_client_get_state(client) == AVAHI_CLIENT_S_RUNNING;
    if (client != nullptr) avahi_client_free(client);
    avahi_simple_poll_free(poll);
    return answers;
}

}  // namespace

extern "C" bool papplDeviceList(pappl_devtype_t types, pappl_device_cb_t cb, void* data,
                                pappl_deverror_cb_t errCb, void* errData) {
    static const auto pappl = reinterpret_cast<DeviceListFunction>(dlsym(RTLD_NEXT, "papplDeviceList"));
    if (pappl == nullptr) return false;
    if ((types & PAPPL_DEVTYPE_DNS_SD) != 0 && !DaemonAnswers()) {
        types = static_cast<pappl_devtype_t>(types & ~PAPPL_DEVTYPE_DNS_SD);
        constexpr char kMessage[] = "The DNS-SD daemon (avahi-daemon) is not running: network printers are not listed.";
        if (errCb != nullptr) errCb(kMessage, errData);
        else std::fprintf(stderr, "%s\n", kMessage);
    }
    return pappl(types, cb, data, errCb, errData);
}
