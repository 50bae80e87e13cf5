// Profile files through the platform's profile services, as the plug-ins
// and the host call them: the file's bytes come from the fuzzer, and so do
// the sizes of the callers' buffers. Every answer must fit its buffer and
// be terminated; a key written reads back, and goes again when removed,
// while the file's other sections stay listed as they were.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "vtplatform.h"

namespace {

const std::string& profilePath() {
  static const std::string path = [] {
    const char* directory = std::getenv("TMPDIR");
    return std::string(directory != nullptr ? directory : "/tmp") + "/vortigen-fuzz-profile-" +
           std::to_string(getpid()) + ".ini";
  }();
  return path;
}

// Calls the service with a buffer of exactly `size` bytes, so that the
// sanitizer sees a write past it, and checks the answer's ending.
std::string ask(const char* section, const char* key, DWORD size, bool list) {
  std::vector<char> buffer(size == 0 ? 1 : size, '\x55');
  const DWORD length = GetPrivateProfileStringA(section, key, "fallback", buffer.data(), size,
                                                profilePath().c_str());
  if (size == 0) {
    FUZZ_CHECK(length == 0 && buffer[0] == '\x55');
    return {};
  }
  FUZZ_CHECK(length < size);
  FUZZ_CHECK(buffer[length] == '\0');
  // A list's names each end with a zero, and the list with one more; a
  // list cut to fit is size - 2 long and ends with two zeros.
  if (list && length > 0) {
    FUZZ_CHECK(buffer[length - 1] == '\0' || (length == size - 2 && buffer[size - 1] == '\0'));
  }
  return std::string(buffer.data(), length + (list ? 1 : 0));
}

std::vector<std::string> namesIn(const std::string& list) {
  std::vector<std::string> names;
  for (size_t start = 0; start < list.size();) {
    const size_t end = list.find('\0', start);
    if (end == start || end == std::string::npos) break;
    names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::vector<std::string> fullList(const char* section) {
  return namesIn(ask(section, nullptr, 1 << 16, true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const auto listSize = input.ConsumeIntegralInRange<DWORD>(0, 80);
  const auto valueSize = input.ConsumeIntegralInRange<DWORD>(0, 80);
  std::string value = input.ConsumeRandomLengthString(64);
  for (char& c : value) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = ',';
  }
  const std::string content = input.ConsumeRemainingBytesAsString();
  std::ofstream(profilePath(), std::ios::binary | std::ios::trunc) << content;

  ask(nullptr, nullptr, listSize, true);
  const std::vector<std::string> sections = fullList(nullptr);
  for (size_t s = 0; s < sections.size() && s < 4; ++s) {
    ask(sections[s].c_str(), nullptr, listSize, true);
    for (const std::string& key : fullList(sections[s].c_str())) {
      ask(sections[s].c_str(), key.c_str(), valueSize, false);
    }
  }

  // A name holding a zero byte cannot be named through the services, which
  // take C strings: such files are only read.
  if (content.find('\0') != std::string::npos) {
    std::remove(profilePath().c_str());
    return 0;
  }
  const std::string section = sections.empty() ? "Fuzz" : sections.front();
  int keysNamedSo = 0;
  for (const std::string& key : fullList(section.c_str()))
    keysNamedSo += strcasecmp(key.c_str(), "FuzzKey") == 0;
  if (WritePrivateProfileStringA(section.c_str(), "FuzzKey", value.c_str(),
                                 profilePath().c_str())) {
    FUZZ_CHECK(ask(section.c_str(), "FuzzKey", 1 << 16, false) == (value.empty() ? "" : value));
    std::vector<std::string> after = fullList(nullptr);
    if (sections.empty()) FUZZ_CHECK(!after.empty() && after.back() == "Fuzz");
    if (sections.empty()) after.pop_back();
    FUZZ_CHECK(after == sections);
    FUZZ_CHECK(
        WritePrivateProfileStringA(section.c_str(), "FuzzKey", nullptr, profilePath().c_str()));
    if (keysNamedSo <= 1) FUZZ_CHECK(ask(section.c_str(), "FuzzKey", 1 << 16, false) == "fallback");
  }
  std::remove(profilePath().c_str());
  return 0;
}
