// Where the filter and the PPDs are: those of this build when the app runs
// from its build folder, the installed ones otherwise, or the environment's.
#pragma once

#include <string>

#include "catalogue/model_list.h"

// $NORVEX_FILTER, else the build's or the installed rastertoNorvex.
std::string FilterPath();

// $NORVEX_PPD_DIR/NAME.ppd, else the build's or the installed PPD of the model.
std::string PpdPath(const NorvexModel& model);
