// The app's words in PAPPL's web pages. PAPPL 1.3.1 labels a vendor option by
// looking its name up in the client's strings, and shows above a printer's
// page the HTML its strings give for the page's path ("/printing" for every
// printing-defaults page); it cannot replace words it has itself, so "Print
// Darkness" and "Load paper." stay PAPPL's. A printer's home page shows its
// links, which here carry how it prints two-sided.
#include "web_texts.h"

#include <cctype>
#include <cstddef>
#include <string>

#include "catalogue/driver_texts.h"
#include "catalogue/model_list.h"
#include "catalogue/platform_traits.h"
#include "filter_options.h"

namespace {

constexpr char kStringsPath[] = "/norvex-en.strings";
constexpr char kScriptPath[] = "/norvex-help.js";

std::string Html(const std::string& text) {
    std::string html;
    for (char c : text) {
        switch (c) {
            case '&': html += "&amp;"; break;
            case '<': html += "&lt;"; break;
            case '>': html += "&gt;"; break;
            case '"': html += "&quot;"; break;
            case '\'': html += "&#39;"; break;
            default: html += c;
        }
    }
    return html;
}

// A pair of a strings file: "key" = "text";
std::string StringsPair(const std::string& key, const std::string& text) {
    const auto quoted = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\') q += '\\';
            if (c == '\n') {
                q += "\\n";
                continue;
            }
            q += c;
        }
        return q + "\"";
    };
    return quoted(key) + " = " + quoted(text) + ";\n";
}

// The darkness choices of the printing-defaults page (PAPPL offers 0, 25,
// 50, 75 and 100 percent for five levels), each with the level it prints at.
std::string DensityHelp() {
    std::string help;
    for (int i = 0; i < kDensityLevels; ++i) {
        const int percent = 100 * i / (kDensityLevels - 1);
        help += (i ? ", " : "") + std::to_string(percent) + "% " + kDensityNames[DensityLevel(percent, 0)];
    }
    return help + ".";
}

// The help of the printing-defaults page, one item per setting, named after
// its control. PAPPL keeps at most 1023 bytes of a string.
constexpr std::size_t kMaxPapplString = 1023;

std::string PrintingDefaultsHelp(pappl_loc_t* english) {
    const auto item = [](const char* name, const std::string& label, const std::string& help) {
        return "<li data-name=\"" + Html(name) + "\"><b>" + Html(label) + "</b>: <span>" + Html(help) +
               "</span></li>";
    };
    std::string html = "<ul id=\"norvex-help\">";
    html += item("print-darkness", papplLocGetString(english, "print-darkness"), DensityHelp());
    for (const VendorOption& option : kVendorOptions)
        if (option.attribute != nullptr) html += item(option.attribute, option.label, option.help);
    return html + "</ul><script src=\"" + kScriptPath + "\"></script>";
}

// Puts each item's help beside its control and names the darkness choices;
// the help of what this printer does not offer goes with the list. Without
// the script the list stays above the form.
constexpr char kHelpScript[] = R"(document.addEventListener('DOMContentLoaded', function () {
  var list = document.getElementById('norvex-help');
  if (!list) return;
  list.querySelectorAll('li').forEach(function (item) {
    var control = document.querySelector('form [name="' + item.dataset.name + '"]');
    var help = item.querySelector('span').textContent;
    if (control && control.tagName == 'SELECT') {
      help.replace(/\.$/, '').split(', ').forEach(function (choice) {
        var words = choice.split('% ');
        for (var i = 0; i < control.options.length; i++)
          if (control.options[i].value == words[0]) control.options[i].text = words[1];
      });
    } else if (control) {
      var note = document.createElement('span');
      note.style.marginLeft = '1em';
      note.textContent = help;
      control.parentNode.appendChild(note);
    }
  });
  (list.closest('.row') || list).remove();
});
)";

std::string StringsText(pappl_loc_t* english) {
    std::string text;  // no comments: PAPPL 1.3.1 misreads the pair after one
    for (const VendorOption& option : kVendorOptions)
        if (option.attribute != nullptr) text += StringsPair(option.attribute, option.label);
    text += StringsPair("/printing", PrintingDefaultsHelp(english));
    return text;
}

}  // namespace

void AddWebTexts(pappl_system_t* system) {
    pappl_loc_t* english = papplSystemFindLoc(system, "en");
    if (PrintingDefaultsHelp(english).size() > kMaxPapplString)
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "The help of the printing defaults is cut at %u bytes.",
                 static_cast<unsigned>(kMaxPapplString));
    const std::string text = StringsText(english);
    papplSystemAddStringsData(system, kStringsPath, "en", text.c_str());
    // Loaded, the pairs are PAPPL's English words; the resource itself goes.
    // While one with a language is listed, PAPPL 1.3.1 adds another
    // printer-strings-languages-supported to the printer's attributes at
    // every Get-Printer-Attributes: each answer after the first carries it
    // twice or more, and the printer grows with every request.
    papplSystemRemoveResource(system, kStringsPath);
    papplSystemAddResourceString(system, kScriptPath, "text/javascript", kHelpScript);
}

void ShowPrinterAbilities(pappl_printer_t* printer, void*) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const auto* model = static_cast<const NorvexModel*>(data.extension);
    if (model == nullptr) return;
    std::string text;
    if (HasDuplexer(model->platform)) {
        text = "Prints both sides by itself.";
    } else {
        // While the fronts wait to be turned over the app sets media-needed,
        // which the status shows in PAPPL's words.
        pappl_loc_t* english = papplSystemFindLoc(papplPrinterGetSystem(printer), "en");
        std::string turn = kTurnPagesText;
        turn[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(turn[0])));
        text = std::string("Prints both sides by hand: when the status shows \u201c") +
               papplLocGetString(english, "printer-state-reasons.media-needed") + "\u201d during a two-sided job, " +
               turn + ".";
    }
    // A link to the printer's own page, which that page shows as plain text
    // under "Configuration": the home page shows no other words of the app.
    // It stays for the printer's life; PAPPL reads the links without a lock,
    // so one removed while a job waits could be freed under a page being
    // sent. While the fronts wait, the status itself says "Load paper.".
    char home[256];
    papplPrinterGetPath(printer, "", home, sizeof home);
    papplPrinterAddLink(printer, text.c_str(), home, PAPPL_LOPTIONS_CONFIGURATION);
}
