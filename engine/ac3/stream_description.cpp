// Channel layout, service and language texts of an AC-3 stream.
#include "ac3/stream_description.h"

#include <cstdio>

namespace ac3 {

namespace {

constexpr const char* kLayouts[8] = {"1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2"};

constexpr const char* kServices[8] = {
    "Complete Main Audio Service", "Music and Effects Audio Service",
    "Visually Impaired Audio Service", "Hearing Impaired Audio Service", "Dialogue Audio Service",
    "Commentary Audio Service", "Emergency Audio Service", "Voice Over Audio Service"};

// Language names by code; nullptr where the code has no name and is shown as its hex value.
constexpr const char* kLanguages[128] = {
    "unknown", "Albanian", "Breton", "Catalan", "Croatian", "Welsh", "Czech", "Danish", "German",
    "English", "Spanish", "Esperanto", "Estonian", "Basque", "Faroese", "French", "Frisian", "Irish",
    "Gaelic", "Galician", "Icelandic", "Italian", "Lappish", "Latin", "Latvian", "Luxembourgian",
    "Lithuanian", "Hungarian", "Maltese", "Dutch", "Norwegian", "Occitan", "Polish", "Portugese",
    "Romanian", "Romansh", "Serbian", "Slovak", "Slovene", "Finnish", "Swedish", "Turkish",
    "Flemish", "Walloon",
    // 44..63: no name
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "background",
    // 65..68: no name
    nullptr, nullptr, nullptr, nullptr,
    "Zulu", "Vietnamese", "Uzbek", "Urdu", "Ukrainian", "Thai", "Telugu", "Tatar", "Tamil",
    "Tadzhik", "Swahili", "Sranan Tongo", "Somali", "Sinhalese", "Shona", "Serbo-Croat",
    "Ruthenian", "Russian", "Quechua", "Pustu", "Punjabi", "Persian", "Papamiento", "Oriya",
    "Nepali", "Ndebele", "Marathi", "Moldavian", "Malaysian", "Malagasay", "Macedonian", "Laotian",
    "Korean", "Khmer", "Kazakh", "Kannada", "Japanese", "Indonesian", "Hindi", "Hebrew", "Hausa",
    "Gurani", "Gujurati", "Greek", "Georgian", "Fulani", "Dari", "Churash", "Chinese", "Burmese",
    "Bulgarian", "Bengali", "Belorussian", "Bambora", "Azerbijani", "Assamese", "Armenian",
    "Arabic", "Amharic"};

}  // namespace

const char* acmod_layout_text(int acmod) {
  return acmod >= 0 && acmod < 8 ? kLayouts[acmod] : "?";
}

const char* channel_layout_text(int acmod, int lfeon, char* buf, size_t size) {
  if (buf == nullptr || size == 0) return "";
  std::snprintf(buf, size, "%s%s", acmod_layout_text(acmod), lfeon ? " + LFE" : "");
  return buf;
}

const char* bsmod_service_text(int bsmod) {
  return bsmod >= 0 && bsmod < 8 ? kServices[bsmod] : "?";
}

const char* language_text(int langcod, char* buf, size_t size) {
  if (buf == nullptr || size == 0) return "";
  if (langcod < 0 || langcod >= 128) {
    std::snprintf(buf, size, "?");
  } else if (kLanguages[langcod] != nullptr) {
    std::snprintf(buf, size, "%s", kLanguages[langcod]);
  } else {
    std::snprintf(buf, size, "0x%x", static_cast<unsigned>(langcod));
  }
  return buf;
}

}  // namespace ac3
