#include "output_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <map>

#include "audio_file.h"
#include "usage_error.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

std::string capitalised(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::string fileIdentity(const std::string& path) {
  struct stat about {};
  if (stat(path.c_str(), &about) == 0)
    return "file " + std::to_string(about.st_dev) + ":" + std::to_string(about.st_ino);
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return "path " + (error ? fs::absolute(path).lexically_normal().string() : resolved.string());
}

void refuseOverlaps(const std::vector<std::string>& inputs,
                    const std::vector<Destination>& destinations, bool inPlace) {
  // Looked up by key, so that a batch of many files is checked in n log n.
  std::map<std::string, const std::string*> inputFiles;
  for (const std::string& input : inputs) {
    // Standard input is no file of a name: it matches nothing.
    if (input != "-") inputFiles.emplace(fileIdentity(input), &input);
  }
  std::map<std::string, const Destination*> written;
  for (const Destination& d : destinations) {
    if (d.path == "-") continue;
    const std::string file = fileIdentity(d.path);
    const auto input = inputFiles.find(file);
    const bool single = d.role == "the output" && inputs.size() == 1;
    if (input != inputFiles.end() && !(inPlace && single)) {
      throw UsageError(capitalised(d.role) + " " + d.path + " is the input file " + *input->second +
                       (single ? "; give another output file, or --in-place to replace the "
                                 "input once processing is complete."
                               : "; nothing was written. Give another name or directory."));
    }
    const auto [other, fresh] = written.emplace(file, &d);
    if (!fresh) {
      throw UsageError(capitalised(d.role) + " " + d.path + " and " + other->second->role + " " +
                       other->second->path +
                       " are the same file; one would replace the other. Give each its own "
                       "name; nothing was written.");
    }
  }
}

void refuseUnwritable(const std::string& path) {
  struct stat about {};
  if (path == "-" || stat(path.c_str(), &about) != 0 || !S_ISREG(about.st_mode)) return;
  if (access(path.c_str(), W_OK) != 0 || (about.st_mode & 0222) == 0) {
    throw vtmedia::AudioError(
        "cannot write '" + path +
        "': Permission denied (it is read-only); make it writable or give another "
        "output");
  }
}

}  // namespace vortigen
