// IEEE 1284 device IDs of the models, and the model of a device's ID.
#include "catalogue/device_id.h"

#include <cctype>
#include <cstring>

namespace {

// The first word of every model name.
std::string MakerOf(const char* model) {
    const char* space = std::strchr(model, ' ');
    return space == nullptr ? model : std::string(model, space);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Words in lower case, runs of blanks made one space, none at either end.
std::string Words(const std::string& text) {
    std::string words;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!words.empty() && words.back() != ' ') words += ' ';
        } else {
            words += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!words.empty() && words.back() == ' ') words.pop_back();
    return words;
}

bool StartsWithWord(const std::string& text, const std::string& word) {
    return text.compare(0, word.size(), word) == 0 &&
           (text.size() == word.size() || !std::isalnum(static_cast<unsigned char>(text[word.size()])));
}

// "kavrin series", "norvex kavrin", "Kavrin" -> "kavrin": the model as the
// model list has it between maker and "Series".
std::string Designation(const std::string& model, const std::string& maker) {
    std::string words = Words(model);
    if (StartsWithWord(words, maker)) words = Words(words.substr(maker.size()));
    constexpr char kSeries[] = " series";
    const std::size_t n = sizeof kSeries - 1;
    if (words.size() > n && words.compare(words.size() - n, n, kSeries) == 0) words.resize(words.size() - n);
    if (words == "series") words.clear();
    return words;
}

// The value of KEY (any case) in "KEY:value;KEY:value;", or false.
bool ValueOf(const char* deviceId, const char* key, std::string& value) {
    const std::size_t keyLength = std::strlen(key);
    for (const char* field = deviceId; *field != '\0';) {
        while (std::isspace(static_cast<unsigned char>(*field))) ++field;
        const char* end = std::strchr(field, ';');
        if (end == nullptr) end = field + std::strlen(field);
        const char* colon = static_cast<const char*>(std::memchr(field, ':', static_cast<std::size_t>(end - field)));
        if (colon != nullptr && static_cast<std::size_t>(colon - field) == keyLength &&
            Lower(std::string(field, colon)) == Lower(key)) {
            value.assign(colon + 1, end);
            return true;
        }
        field = *end == ';' ? end + 1 : end;
    }
    return false;
}

}  // namespace

std::string DeviceIdOf(const NorvexModel& model) {
    const std::string maker = MakerOf(model.name);
    const std::string name = model.name;
    return "MFG:" + maker + ";MDL:" + (name.size() > maker.size() ? name.substr(maker.size() + 1) : "") + ";";
}

const NorvexModel* ModelOfDeviceId(const char* deviceId, bool* isNorvex) {
    *isNorvex = false;
    if (deviceId == nullptr) return nullptr;
    std::string maker, model;
    if (!ValueOf(deviceId, "MFG", maker)) ValueOf(deviceId, "MANUFACTURER", maker);
    if (!ValueOf(deviceId, "MDL", model)) ValueOf(deviceId, "MODEL", model);
    const std::string ourMaker = Lower(MakerOf(gNorvexModels[0].name));
    // "Norvex", "NORVEX", "Norvex Inc.", "Norvex, Inc."; or no maker and the
    // maker in front of the model.
    *isNorvex = StartsWithWord(Words(maker), ourMaker) ||
                (Words(maker).empty() && StartsWithWord(Words(model), ourMaker));
    if (!*isNorvex) return nullptr;
    const std::string wanted = Designation(model, ourMaker);
    if (wanted.empty()) return nullptr;
    for (const NorvexModel& listed : gNorvexModels)
        if (Designation(listed.name, ourMaker) == wanted) return &listed;
    return nullptr;
}
