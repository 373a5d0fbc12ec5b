// Test PPD files: only the entries the filter reads.
#include "support/ppd_fixture.h"

#include <fstream>
#include <sstream>

namespace {

void BooleanOption(std::ostringstream& s, const std::string& name, const std::string& def) {
    if (def.empty()) return;
    s << "*OpenUI *" << name << "/" << name << ": Boolean\n"
      << "*Default" << name << ": " << def << "\n"
      << "*" << name << " True/On: \"\"\n"
      << "*" << name << " False/Off: \"\"\n"
      << "*CloseUI: *" << name << "\n";
}

}  // namespace

std::string PPDText(const PPDFixture& f) {
    std::ostringstream s;
    s << "*PPD-Adobe: \"4.3\"\n"
         "*FormatVersion: \"4.3\"\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*ModelName: \"" << f.modelName << "\"\n"
      << "*NickName: \"" << f.modelName << "\"\n"
      << "*cupsFilter: \"application/vnd.cups-raster 0 rastertoNorvex\"\n";
    if (!f.platform.empty()) s << "*cupsIPPReason PlatForm/" << f.platform << ": \"\"\n";
    if (!f.supportManualDuplex.empty())
        s << "*cupsIPPReason SupportManualDuplex/" << f.supportManualDuplex << ": \"\"\n";
    if (!f.manualDuplexText.empty()) s << "*cupsIPPReason MDuplex/" << f.manualDuplexText << ": \"\"\n";
    s << "*HWMargins: " << f.hwMargins << "\n";
    BooleanOption(s, "FeedLongEdge", f.feedLongEdge);
    BooleanOption(s, "TonerMode", f.tonerMode);
    BooleanOption(s, "ImageRotation", f.imageRotation);
    BooleanOption(s, "NegativePrint", f.negativePrint);
    if (!f.density.empty()) {
        s << "*OpenUI *Density/Density: PickOne\n"
          << "*DefaultDensity: " << f.density << "\n";
        for (int level = 0; level <= 4; ++level) s << "*Density " << level << "/Level " << level << ": \"\"\n";
        s << "*CloseUI: *Density\n";
    }
    return s.str();
}

std::string WritePPD(const std::string& path, const PPDFixture& fixture) {
    std::ofstream(path) << PPDText(fixture);
    return path;
}
