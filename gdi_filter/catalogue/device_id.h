// Each model's IEEE 1284 device ID, and the model a device's ID names.
#pragma once

#include <string>

#include "catalogue/model_list.h"

// "Norvex Kavrin Series" -> "MFG:Norvex;MDL:Kavrin Series;": the maker and the
// model after it. Derived from the model name, as no printer's own ID is known.
std::string DeviceIdOf(const NorvexModel& model);

// The model whose ID `deviceId` names, in the forms the family's printers and
// their drivers write: MFG or MANUFACTURER and MDL or MODEL in any case, the
// maker with a suffix ("Norvex Inc."), the model with or without "Series" and
// with or without the maker in front. nullptr when no model matches; then
// *isNorvex says whether the maker is Norvex all the same.
const NorvexModel* ModelOfDeviceId(const char* deviceId, bool* isNorvex);
