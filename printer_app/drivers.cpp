// Driver names and device IDs of every model, derived from the model list.
#include "drivers.h"

#include <array>
#include <string>
#include <strings.h>

#include "catalogue/device_id.h"
#include "catalogue/ppd_name.h"

namespace {

struct DriverNames {
    std::string name;
    std::string deviceId;
};

struct DriverTable {
    std::array<DriverNames, kModelCount> names;
    std::array<pappl_pr_driver_t, kModelCount> drivers;
};

DriverTable BuildTable() {
    DriverTable table;
    for (int i = 0; i < kModelCount; ++i) {
        const NorvexModel& model = gNorvexModels[i];
        table.names[i].name = PpdBaseNameOf(model.name);
        table.names[i].deviceId = DeviceIdOf(model);
        table.drivers[i] = pappl_pr_driver_t{table.names[i].name.c_str(), model.name,
                                             table.names[i].deviceId.c_str(),
                                             const_cast<NorvexModel*>(&model)};
    }
    return table;
}

DriverTable& Table() {
    static DriverTable table = BuildTable();
    return table;
}

}  // namespace

pappl_pr_driver_t* NorvexDrivers() { return Table().drivers.data(); }

const NorvexModel* ModelOfDriver(const char* driverName) {
    if (driverName == nullptr) return nullptr;
    for (const pappl_pr_driver_t& driver : Table().drivers)
        if (strcasecmp(driver.name, driverName) == 0) return static_cast<NorvexModel*>(driver.extension);
    return nullptr;
}

const NorvexModel* ModelOfJob(pappl_job_t* job) {
    pappl_pr_driver_data_t data;
    if (papplPrinterGetDriverData(papplJobGetPrinter(job), &data) == nullptr) return nullptr;
    return static_cast<const NorvexModel*>(data.extension);
}

const char* NorvexAutoAdd(const char*, const char* deviceUri, const char* deviceId, void* data) {
    bool isNorvex = false;
    const NorvexModel* model = ModelOfDeviceId(deviceId, &isNorvex);
    if (model != nullptr) return Table().drivers[static_cast<std::size_t>(model - gNorvexModels)].name;
    // A printer of the family that the list lacks is worth a line: its ID
    // may be one to add to the catalogue.
    const auto* callbackData = static_cast<const DriverCallbackData*>(data);
    if (isNorvex && callbackData != nullptr && callbackData->system != nullptr)
        papplLog(callbackData->system, PAPPL_LOGLEVEL_WARN,
                 "The Norvex printer \"%s\" (device ID \"%s\") matches no model of this application.",
                 deviceUri ? deviceUri : "", deviceId ? deviceId : "");
    return nullptr;
}
