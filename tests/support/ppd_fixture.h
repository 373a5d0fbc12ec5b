// Test PPD files: the entries the filter reads, in the form CUPS hands them on.
// "PlatForm", "SupportManualDuplex" and "MDuplex" are IPP-reason entries
// (*cupsIPPReason PlatForm/PLATFORM_Z: ""), whose text ppdLocalizeIPPReason returns.
#pragma once

#include <string>
#include <vector>

struct PPDFixture {
    std::string modelName = "Test Norvex Z Printer";
    std::string platform = "PLATFORM_Z";          // empty: no "PlatForm" entry
    std::string supportManualDuplex;              // empty: no entry
    std::string manualDuplexText;                 // empty: no "MDuplex" entry
    // Defaults of the options read on PLATFORM_Z; empty: the PPD lacks the option.
    std::string feedLongEdge = "False";
    std::string tonerMode = "False";
    std::string imageRotation = "False";
    std::string negativePrint = "False";
    std::string density = "2";
    std::string hwMargins = "0 0 0 0";            // custom page margins, points
};

// The PPD file's text.
std::string PPDText(const PPDFixture& fixture);

// Writes the PPD to `path`; returns the path.
std::string WritePPD(const std::string& path, const PPDFixture& fixture);
