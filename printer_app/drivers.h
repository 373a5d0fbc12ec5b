// The Printer Application's drivers: one per model of the filter's model list.
#pragma once

#include <pappl/pappl.h>

#include "catalogue/model_list.h"

// PAPPL's driver table, built once from the model list: driver name
// "norvex-dolvek-m1180" (the model's PPD name), description the model name,
// IEEE 1284 device ID "MFG:Norvex;MDL:Dolvek M1180 Series;". `extension`
// points at the model's NorvexModel.
pappl_pr_driver_t* NorvexDrivers();

// The model of a driver name, or nullptr for a name that is not ours.
const NorvexModel* ModelOfDriver(const char* driverName);

// The model of the printer of a job, or nullptr when it has none.
const NorvexModel* ModelOfJob(pappl_job_t* job);

struct AccessPolicy;

// What PAPPL hands the driver callbacks: the policy that checks a printer's
// device, and the system to log to (PAPPL gives the auto-add callback none).
struct DriverCallbackData {
    const AccessPolicy* policy;
    pappl_system_t* system;
};

// Auto-add callback: the driver of the model the device's ID names (in the
// variants ModelOfDeviceId takes), else nullptr; a Norvex device that
// matches no model is logged through `data`, a DriverCallbackData.
const char* NorvexAutoAdd(const char* deviceInfo, const char* deviceUri, const char* deviceId,
                          void* data);
