#include "output_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <optional>

#include "audio_file.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

// The file a path leads to: its device and inode when it is there (links
// followed), else its absolute path with "." and ".." and the links of
// its directories resolved.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  std::string path;  // for a file that is not there yet

  bool operator==(const FileIdentity& other) const {
    return path.empty() ? other.path.empty() && device == other.device && inode == other.inode
                        : path == other.path;
  }
};

FileIdentity identityOf(const std::string& path) {
  struct stat about {};
  if (stat(path.c_str(), &about) == 0) return {about.st_dev, about.st_ino, ""};
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return {0, 0, error ? fs::absolute(path).lexically_normal().string() : resolved.string()};
}

std::string capitalised(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

void refuseOverlaps(const std::vector<std::string>& inputs,
                    const std::vector<Destination>& destinations, bool inPlace) {
  std::vector<FileIdentity> inputFiles;
  for (const std::string& input : inputs) {
    // Standard input is no file of a name: it matches nothing.
    inputFiles.push_back(input == "-" ? FileIdentity{0, 0, "<standard input>"} : identityOf(input));
  }
  std::vector<std::pair<FileIdentity, const Destination*>> written;
  for (const Destination& d : destinations) {
    if (d.path == "-") continue;
    const FileIdentity file = identityOf(d.path);
    for (size_t i = 0; i < inputFiles.size(); ++i) {
      if (!(inputFiles[i] == file)) continue;
      const bool mayReplace = inPlace && d.role == "the output" && inputs.size() == 1;
      if (mayReplace) continue;
      throw UsageError(capitalised(d.role) + " " + d.path + " is the input file " + inputs[i] +
                       (d.role == "the output" && inputs.size() == 1
                            ? "; give another output file, or --in-place to replace the input "
                              "once processing is complete."
                            : "; nothing was written. Give another name or directory."));
    }
    for (const auto& [other, role] : written) {
      if (other == file) {
        throw UsageError(capitalised(d.role) + " " + d.path + " and " + role->role + " " +
                         role->path +
                         " are the same file; one would replace the other. Give each its own "
                         "name; nothing was written.");
      }
    }
    written.emplace_back(file, &d);
  }
}

void refuseUnwritable(const std::string& path) {
  struct stat about {};
  if (path == "-" || stat(path.c_str(), &about) != 0 || !S_ISREG(about.st_mode)) return;
  if (access(path.c_str(), W_OK) != 0 || (about.st_mode & 0222) == 0) {
    throw AudioError("cannot write '" + path +
                     "': Permission denied (it is read-only); make it writable or give another "
                     "output");
  }
}

}  // namespace vortigen
