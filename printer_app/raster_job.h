// PAPPL's raster callbacks: the job's pages go to the filter as CUPS raster.
#pragma once

#include <pappl/pappl.h>

// Sets the five raster callbacks of a Norvex printer.
void SetRasterCallbacks(pappl_pr_driver_data_t* data);
