// What a printer of each model offers over IPP: media, resolutions, sides,
// sources, darkness and the vendor options, from the model list and paper tables.
#pragma once

#include <pappl/pappl.h>

// Vendor attribute names (IPP has no name for these filter options).
inline constexpr char kTonerSave[] = "toner-save";
inline constexpr char kFineMode[] = "fine-mode";
inline constexpr char kHighResolution[] = "dpi1200-mode";
inline constexpr char kNegativePrint[] = "negative-print";
inline constexpr char kRotate180[] = "rotate-180";
inline constexpr char kFeedLongEdge[] = "feed-a5-long-edge";
inline constexpr char kReverseOrder[] = "reverse-order";

// The darkness levels of the printer: its "Density" 0 (lightest) to 4.
inline constexpr int kDensityLevels = 5;

// PAPPL's driver callback.
bool NorvexDriverData(pappl_system_t* system, const char* driverName, const char* deviceUri,
                      const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                      void* cbData);

// Raises the margins of ready and default media that a state file written
// before the margins were advertised gives as 0.
void RaiseStoredMargins(pappl_system_t* system);
