// Bounds on every job's children, set once from the server's options.
#pragma once

#include <cstddef>

// -o job-stall-time=SECONDS: a job whose children send nothing to the device
// and read no input for that long is stopped (the spirit of cupsd's MaxJobTime).
inline constexpr int kDefaultStallSeconds = 300;

// -o render-memory-limit=MiB: the address space ghostscript may use. It bands
// the page, so an A4 page at 1200 dpi in 8-bit grey (140 MB of raster) renders
// in 63 MiB; a page of transparency with a whole-page buffer needed 199 MiB.
inline constexpr int kDefaultRenderMemoryMiB = 512;

// The most a job's children may write to one file: the filter's spool of a
// job's pages for collated copies and manual duplex, and the PDF a document
// becomes before it is rendered. Both are unlinked or removed with the job.
inline constexpr std::size_t kJobFileBytes = std::size_t{2} << 30;

// Kept for the jobs of this server (the values are checked with the other
// server options).
void SetJobLimits(int stallSeconds, int renderMemoryMiB);

int JobStallSeconds();
std::size_t RenderMemoryLimit();  // bytes
