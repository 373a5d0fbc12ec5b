// What a printer of each model offers over IPP: media, resolutions, sides,
// sources, darkness and the vendor options, from the model list and paper tables.
#pragma once

#include <pappl/pappl.h>

#include "catalogue/driver_texts.h"  // kDensityLevels, the darkness levels of the printer

// PAPPL's driver callback.
bool NorvexDriverData(pappl_system_t* system, const char* driverName, const char* deviceUri,
                      const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                      void* cbData);

// Raises the margins of ready and default media that a state file written
// before the margins were advertised gives as 0.
void RaiseStoredMargins(pappl_system_t* system);
