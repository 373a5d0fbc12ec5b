// Test PPD files.
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

std::string MakePPD(const PPDFixture& f) {
    std::ostringstream s;
    s << "*PPD-Adobe: \"4.3\"\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"TEST.PPD\"\n"
         "*Manufacturer: \"Norvex\"\n"
         "*Product: \"(Test)\"\n"
         "*ModelName: \"" << f.modelName << "\"\n"
      << "*ShortNickName: \"Test\"\n"
         "*NickName: \"" << f.modelName << "\"\n"
      << "*PSVersion: \"(3010.000) 0\"\n"
         "*LanguageLevel: \"3\"\n"
         "*ColorDevice: False\n"
         "*DefaultColorSpace: Gray\n"
         "*FileSystem: False\n"
         "*Throughput: \"1\"\n"
         "*LandscapeOrientation: Plus90\n"
         "*TTRasterizer: Type42\n"
         "*cupsFilter: \"application/vnd.cups-raster 0 rastertoNorvex\"\n";
    if (!f.platform.empty()) s << "*cupsIPPReason PlatForm/" << f.platform << ": \"\"\n";
    if (!f.supportManualDuplex.empty())
        s << "*cupsIPPReason SupportManualDuplex/" << f.supportManualDuplex << ": \"\"\n";
    if (!f.manualDuplexText.empty())
        s << "*cupsIPPReason MDuplex/" << f.manualDuplexText << ": \"\"\n";
    s << "*HWMargins: " << f.hwMargins << "\n"
         "*VariablePaperSize: True\n"
         "*MaxMediaWidth: \"1224\"\n"
         "*MaxMediaHeight: \"2016\"\n"
         "*CustomPageSize True: \"\"\n"
         "*ParamCustomPageSize Width: 1 points 144 1224\n"
         "*ParamCustomPageSize Height: 2 points 144 2016\n"
         "*ParamCustomPageSize WidthOffset: 3 points 0 0\n"
         "*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
         "*ParamCustomPageSize Orientation: 5 int 0 0\n"
         "*OpenUI *PageSize/Media Size: PickOne\n"
         "*DefaultPageSize: A4\n"
         "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
         "*PageSize Letter/Letter: \"<</PageSize[612 792]/ImagingBBox null>>setpagedevice\"\n"
         "*CloseUI: *PageSize\n"
         "*OpenUI *PageRegion: PickOne\n"
         "*DefaultPageRegion: A4\n"
         "*PageRegion A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
         "*PageRegion Letter/Letter: \"<</PageSize[612 792]/ImagingBBox null>>setpagedevice\"\n"
         "*CloseUI: *PageRegion\n"
         "*DefaultImageableArea: A4\n"
         "*ImageableArea A4/A4: \"0 0 595 842\"\n"
         "*ImageableArea Letter/Letter: \"0 0 612 792\"\n"
         "*DefaultPaperDimension: A4\n"
         "*PaperDimension A4/A4: \"595 842\"\n"
         "*PaperDimension Letter/Letter: \"612 792\"\n";
    BooleanOption(s, "FeedLongEdge", f.feedLongEdge);
    BooleanOption(s, "TonerMode", f.tonerMode);
    BooleanOption(s, "ImageRotation", f.imageRotation);
    BooleanOption(s, "NegativePrint", f.negativePrint);
    if (!f.density.empty()) {
        s << "*OpenUI *Density/Density: PickOne\n"
          << "*DefaultDensity: " << f.density << "\n";
        for (int level = 0; level <= 4; ++level)
            s << "*Density " << level << "/Level " << level << ": \"\"\n";
        s << "*CloseUI: *Density\n";
    }
    for (const auto& line : f.extraLines) s << line << "\n";
    return s.str();
}

}  // namespace

std::string WritePPD(const std::string& path, const PPDFixture& fixture) {
    std::ofstream(path) << MakePPD(fixture);
    return path;
}
