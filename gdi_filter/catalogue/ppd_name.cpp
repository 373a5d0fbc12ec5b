// Names derived from the model list: PPD file names and driver names.
#include "catalogue/ppd_name.h"

#include <cctype>

std::vector<std::string> DesignationOf(const char* model) {
    std::vector<std::string> words;
    std::string word;
    for (const char* c = model;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*c == '\0') break;
        } else {
            word += *c;
        }
    }
    if (!words.empty()) words.erase(words.begin());
    if (!words.empty() && words.back() == "Series") words.pop_back();
    return words;
}

std::string PpdBaseNameOf(const char* model) {
    std::string name = "norvex";
    for (const std::string& word : DesignationOf(model)) name += "-" + word;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}
