// The page dot count and image checksum, and the coverage commands that report
// the dot count to PLATFORM_C and PLATFORM_Z printers.
#include <cstdint>

#include "prnt/packet.h"
#include "prnt/page.h"

uint32_t gImageCoverage = 0;
uint32_t gImageChecksum = 0;

namespace {

// The factors the controller firmware applies; 0.7 and 1.2 are taken in single
// precision (0.699999988, 1.20000005), which the reported values depend on.
double DensityFactor(int32_t density) {
    if (density < 0) return 1.0;
    if (density <= 1) return static_cast<double>(0.7f);
    if (density == 2) return 1.0;
    if (density <= 4) return static_cast<double>(1.2f);
    return 1.0;
}

double WidthFactor(int32_t paperWidthMm) {
    if (paperWidthMm >= 126 && paperWidthMm <= 174) return 1.5;
    if (paperWidthMm < 125) return 2.0;
    return 1.0;
}

}  // namespace

int GetCoverageCmd_C(GDI_END_PAGE_PARAM* pEndPageParam, GDI_COVERAGE_C* pGdiCoverage) {
    const double resolution = pEndPageParam->resolutionE == 1200 ? 0.25 : 1.0;
    const double value = static_cast<double>(gImageCoverage) * resolution *
                         DensityFactor(pEndPageParam->densityE) *
                         WidthFactor(pEndPageParam->paperWidthE) / 1000.0;
    const uint16_t points = static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int64_t>(value)));
    pEndPageParam->dotCnt = points;
    pGdiCoverage->leadingByte = kShortCmdLead;
    pGdiCoverage->cmdLen = sizeof(GDI_COVERAGE_C);
    pGdiCoverage->cmd = 0x1E;
    pGdiCoverage->printedPoints[0] = static_cast<uint8_t>(points);
    pGdiCoverage->printedPoints[1] = static_cast<uint8_t>(points >> 8);
    SealShortCmd(pGdiCoverage);
    return 1;
}

int GetCoverageCmd_Z(GDI_COVERAGE_Z* pGdiCoverage) {
    // Thousands of dots in 16 bits, sent six bits at a time, lowest group first.
    const uint16_t k = static_cast<uint16_t>(gImageCoverage / 1000);
    pGdiCoverage->leadingByte = kShortCmdLead;
    pGdiCoverage->cmdLen = sizeof(GDI_COVERAGE_Z);
    pGdiCoverage->cmd = 0x19;
    pGdiCoverage->printedPoints[0] = k & 0x3F;
    pGdiCoverage->printedPoints[1] = (k >> 6) & 0x3F;
    pGdiCoverage->printedPoints[2] = static_cast<uint8_t>(k >> 12);
    SealShortCmd(pGdiCoverage);
    return 1;
}
