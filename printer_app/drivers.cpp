// Driver names and device IDs of every model, derived from the model list.
#include "drivers.h"

#include <array>
#include <string>
#include <strings.h>

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

// "Norvex Dolvek M1180 Series" -> "Dolvek M1180 Series": the model as the
// printer reports it after its maker.
std::string DeviceModelOf(const char* model) {
    std::string name = model;
    const std::size_t space = name.find(' ');
    return space == std::string::npos ? name : name.substr(space + 1);
}

DriverTable BuildTable() {
    DriverTable table;
    for (int i = 0; i < kModelCount; ++i) {
        const NorvexModel& model = gNorvexModels[i];
        table.names[i].name = PpdBaseNameOf(model.name);
        table.names[i].deviceId = "MFG:Norvex;MDL:" + DeviceModelOf(model.name) + ";";
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

const char* NorvexAutoAdd(const char*, const char*, const char* deviceId, void*) {
    if (deviceId == nullptr) return nullptr;
    cups_option_t* pairs = nullptr;
    const int count = papplDeviceParseID(deviceId, &pairs);
    const char* mfg = cupsGetOption("MFG", count, pairs);
    if (mfg == nullptr) mfg = cupsGetOption("MANUFACTURER", count, pairs);
    const char* mdl = cupsGetOption("MDL", count, pairs);
    if (mdl == nullptr) mdl = cupsGetOption("MODEL", count, pairs);
    const char* match = nullptr;
    if (mfg != nullptr && mdl != nullptr && strcasecmp(mfg, "Norvex") == 0) {
        for (int i = 0; i < kModelCount && match == nullptr; ++i)
            if (strcasecmp(DeviceModelOf(gNorvexModels[i].name).c_str(), mdl) == 0)
                match = Table().drivers[i].name;
    }
    cupsFreeOptions(count, pairs);
    return match;
}
