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

// Auto-add callback: the driver whose MFG and MDL equal the device's, else nullptr.
const char* NorvexAutoAdd(const char* deviceInfo, const char* deviceUri, const char* deviceId,
                          void* data);
