// The names a model goes by outside the filter: its PPD file, and the driver
// name of the Printer Application, both derived from the model list's name.
#pragma once

#include <string>
#include <vector>

// The words between the maker and "Series": "Norvex Dolvek M1180 Series" -> {"Dolvek", "M1180"}.
std::vector<std::string> DesignationOf(const char* model);

// "Norvex Dolvek M1180 Series" -> "norvex-dolvek-m1180": the PPD's file name
// without ".ppd" and the Printer Application's driver name.
std::string PpdBaseNameOf(const char* model);
