// The job ticket: a job's IPP attributes read once, and what they become for
// the renderers (page selection, orientation, scaling, resolution) and for the
// filter (its option text and page headers).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <pappl/pappl.h>

#include "catalogue/model_list.h"

struct JobTicket {
    int copies = 1;
    // Each copy a whole set of the pages. Two-sided jobs are always collated:
    // the printer repeating a page would print it on both sides of a sheet.
    bool collate = true;
    bool twoSided = false;
    std::vector<std::pair<int, int>> pageRanges;  // ascending, first >= 1; empty: every page
    int xdpi = 600, ydpi = 600;                   // what the renderer draws at
};

// The ticket of `job`, or false with `why` (one sentence for the user) when
// it asks for what cannot be printed as asked.
bool ReadJobTicket(pappl_job_t* job, const pappl_pr_options_t& options, const NorvexModel& model,
                   JobTicket& ticket, std::string& why);

// True when page `page` (from 1) of the document is to be printed.
bool PageSelected(const JobTicket& ticket, unsigned page);

// "1-2,5-5": the page ranges as CUPS's and ghostscript's page lists write them.
std::string PageListText(const JobTicket& ticket);

// Density level 0..4 of the printer for the job's darkness: the printer's
// configured darkness (0..100) moved by the job's print-darkness (-100..100).
int DensityLevel(int darknessConfigured, int printDarkness);

// Keywords the filter reads: Duplex/Sides, ManualDuplex (two-sided printing on
// PLATFORM_M, which has no duplexer), Collate, Density, InputSlot and the
// vendor options.
std::string FilterOptionText(const pappl_pr_options_t& options, const JobTicket& ticket, int platform);

// The page header as the filter must see it: with the job's copies, which
// the filter makes (collated, or by the printer).
void AdjustPageHeader(cups_page_header2_t& header, const JobTicket& ticket);
