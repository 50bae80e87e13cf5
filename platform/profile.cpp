// Linux stand-in for the Windows profile (initialisation file) services.
//
// The file is read as lines and changed line by line, so that everything
// the change does not concern stays byte for byte as it was: comments,
// blank lines, other sections, the case of names and the line endings.
// A changed file is written next to the old one and renamed over it, so a
// failed write leaves the old file whole. The file stays as its owner left
// it: a read-only file is not replaced, a link stays a link (its target is
// written, the temporary file beside the target), and the target keeps its
// mode and owner. A section, key or value with a line break, which would
// write lines of its own, is refused.
//
// The last file read is kept, parsed, while its identity, size and time of
// change stay the same: a dialog that lists a thousand presets reads each
// key once, not the file once per key.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vtplatform.h"

namespace {

struct Line {
  std::string text;    // without its ending
  std::string ending;  // "\r\n", "\n" or "" for a last line without one
};

const char* const blanks = " \t";

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The name of a "[section]" line.
std::optional<std::string_view> sectionName(const std::string& line) {
  const std::string_view text = trimmed(line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  const size_t close = text.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trimmed(text.substr(1, close - 1));
}

// The key of a "key=value" line; comments (';') have none.
std::optional<std::string_view> keyName(const std::string& line) {
  const std::string_view text = trimmed(line);
  if (text.empty() || text.front() == ';') return std::nullopt;
  const size_t equals = text.find('=');
  return trimmed(equals == std::string_view::npos ? text : text.substr(0, equals));
}

std::string_view valueOf(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return {};
  std::string_view value = trimmed(std::string_view(line).substr(equals + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// What tells one state of a file from another.
struct FileState {
  std::string name;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec changed{};
  bool operator==(const FileState& o) const {
    return name == o.name && device == o.device && inode == o.inode && size == o.size &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

std::optional<FileState> stateOf(const char* fileName) {
  struct stat info {};
  if (stat(fileName, &info) != 0) return std::nullopt;
  return FileState{fileName, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

using Lines = std::vector<Line>;

// A file's lines, and where each key's line is: "section\nkey" in lower
// case to the line of the key in the first section of that name, as
// findKey finds it.
struct Parsed {
  Lines lines;
  std::unordered_map<std::string, size_t> keyLines;
};
using SharedLines = std::shared_ptr<const Parsed>;
SharedLines parsed(Lines lines);

std::mutex lastReadMutex;
FileState lastReadState;
SharedLines lastReadLines;

std::vector<Line> splitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t newline = text.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back(Line{text.substr(start), ""});
      break;
    }
    const bool crlf = newline > start && text[newline - 1] == '\r';
    lines.push_back(
        Line{text.substr(start, newline - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
    start = newline + 1;
  }
  return lines;
}

bool changedLongAgo(const FileState& state) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - state.changed.tv_sec >= 2;
}

// The file's lines, shared with the next reader while the file stays as it
// is; null when it cannot be read.
SharedLines readLines(const char* fileName) {
  const std::optional<FileState> before = stateOf(fileName);
  if (before && access(fileName, R_OK) == 0) {
    std::lock_guard lock(lastReadMutex);
    if (*before == lastReadState && lastReadLines) return lastReadLines;
  }
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return nullptr;
  std::stringstream content;
  content << in.rdbuf();
  SharedLines lines = parsed(splitLines(content.str()));
  // Kept only when the file did not change while it was read, and was last
  // changed long enough ago that a change within the same tick of the
  // file system's clock, which would leave its time as it is, is past.
  if (before && stateOf(fileName) == before && changedLongAgo(*before)) {
    std::lock_guard lock(lastReadMutex);
    lastReadState = *before;
    lastReadLines = lines;
  }
  return lines;
}

// The mode a new file gets: 0666 less the process's umask, read without
// changing it (umask() would, for every thread at once).
mode_t newFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

bool writeLines(const char* fileName, const std::vector<Line>& lines) {
  // A link is followed: the link stays, its target changes.
  std::string target = fileName;
  if (char resolved[PATH_MAX]; realpath(fileName, resolved) != nullptr) target = resolved;
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  // A file without write permission for anyone was made read-only on
  // purpose: left as it is, even by root, whom access() lets write all.
  if (existed && ((old.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)) return false;

  std::string temporary = target + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  std::string text;
  for (const Line& line : lines) text += line.text + line.ending;
  bool written = true;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    written = wrote > 0;
    if (written) done += static_cast<size_t>(wrote);
  }
  if (existed) {
    written = written && fchmod(fd, old.st_mode & 07777) == 0;
    // Only root can give a file away; for anyone else the owner is theirs
    // already, and the call changes nothing.
    [[maybe_unused]] const int ownerKept = fchown(fd, old.st_uid, old.st_gid);
  } else {
    written = written && fchmod(fd, newFileMode()) == 0;
  }
  written = close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), target.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  // What this process wrote is what the file holds.
  std::lock_guard lock(lastReadMutex);
  if (const std::optional<FileState> now = stateOf(target.c_str()); now && target == fileName) {
    lastReadState = *now;
    lastReadLines = parsed(lines);
  }
  return true;
}

bool holdsLineBreak(const char* text) {
  return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

// Where a section's lines are: its header and one past its last line.
struct SectionSpan {
  size_t header;
  size_t end;
};

std::optional<SectionSpan> findSection(const std::vector<Line>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto name = sectionName(lines[i].text);
    if (!name || !sameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !sectionName(lines[end].text)) ++end;
    return SectionSpan{i, end};
  }
  return std::nullopt;
}

// The line of a key in a section, or npos.
const size_t noLine = std::string::npos;

size_t findKey(const std::vector<Line>& lines, const std::optional<SectionSpan>& span,
               std::string_view key) {
  if (!span) return noLine;
  for (size_t i = span->header + 1; i < span->end; ++i) {
    const auto name = keyName(lines[i].text);
    if (name && sameName(*name, key)) return i;
  }
  return noLine;
}

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

SharedLines parsed(Lines lines) {
  auto file = std::make_shared<Parsed>();
  file->lines = std::move(lines);
  std::unordered_set<std::string> sectionsSeen;
  std::optional<std::string> section;  // lower case; none before the first or in a repeated one
  for (size_t i = 0; i < file->lines.size(); ++i) {
    const std::string& text = file->lines[i].text;
    if (const auto name = sectionName(text)) {
      section = lowerCase(*name);
      if (!sectionsSeen.insert(*section).second) section.reset();
    } else if (const auto name = keyName(text); name && section) {
      file->keyLines.emplace(*section + "\n" + lowerCase(*name), i);
    }
  }
  return file;
}

// New lines take the ending the file already uses; a new file gets the
// Windows one.
std::string lineEnding(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.ending.empty()) return line.ending;
  }
  return "\r\n";
}

// Copies text into the caller's buffer as GetPrivateProfileStringA does.
DWORD copyValue(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t copied = std::min<size_t>(text.size(), size - 1);
  // An empty value may have no characters at all to copy from.
  if (copied > 0) std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return static_cast<DWORD>(copied);
}

// A list of names, each ended by a zero and the whole by another. A list
// that does not fit is cut after the last name that does, a name cut in
// the middle; the result is then size - 2.
DWORD copyList(const std::vector<std::string_view>& names, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  size_t used = 0;
  for (std::string_view name : names) {
    if (used + name.size() + 1 > size - 1) {
      // Names before this one may already fill the buffer to its last byte.
      const size_t room = used <= size - 2 ? size - 2 - used : 0;
      if (room > 0) std::memcpy(buffer + used, name.data(), room);
      buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size - 2;
    }
    if (!name.empty()) std::memcpy(buffer + used, name.data(), name.size());
    used += name.size();
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  if (used == 0) buffer[1] = '\0';
  return static_cast<DWORD>(used);
}

}  // namespace

extern "C" {

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (section == nullptr || fileName == nullptr) return FALSE;
  if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value)) return FALSE;
  const SharedLines read = readLines(fileName);
  const bool existed = read != nullptr;
  std::vector<Line> lines = existed ? read->lines : Lines{};
  if (!existed && access(fileName, F_OK) == 0) return FALSE;  // there, but unreadable
  const std::string ending = lineEnding(lines);
  const std::optional<SectionSpan> span = findSection(lines, section);

  if (key == nullptr) {
    // Removes the whole section.
    if (!span) return TRUE;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(span->header),
                lines.begin() + static_cast<std::ptrdiff_t>(span->end));
    return writeLines(fileName, lines) ? TRUE : FALSE;
  }

  const size_t at = findKey(lines, span, key);
  if (value == nullptr) {
    // Removes the key.
    if (at == noLine) return TRUE;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
    return writeLines(fileName, lines) ? TRUE : FALSE;
  }

  const std::string entry = std::string(key) + "=" + value;
  if (at != noLine) {
    lines[at].text = entry;
  } else if (span) {
    // After the section's last entry, so that blank lines before the next
    // section stay where they are.
    size_t insertAt = span->end;
    while (insertAt > span->header + 1 && trimmed(lines[insertAt - 1].text).empty()) --insertAt;
    if (insertAt > 0 && lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = ending;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{entry, ending});
  } else {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
    lines.push_back(Line{"[" + std::string(section) + "]", ending});
    lines.push_back(Line{entry, ending});
  }
  return writeLines(fileName, lines) ? TRUE : FALSE;
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                                      DWORD size, LPCSTR fileName) {
  const SharedLines read = fileName != nullptr ? readLines(fileName) : nullptr;
  static const Lines none;
  const Lines& lines = read ? read->lines : none;

  if (section == nullptr) {
    std::vector<std::string_view> names;
    // An empty name ("[]") would end the list early and hide every later
    // section, as an empty key name would; both are left out.
    for (const Line& line : lines) {
      const auto name = sectionName(line.text);
      if (name && !name->empty()) names.push_back(*name);
    }
    return copyList(names, buffer, size);
  }

  if (key == nullptr) {
    const std::optional<SectionSpan> span = findSection(lines, section);
    std::vector<std::string_view> names;
    if (span) {
      for (size_t i = span->header + 1; i < span->end; ++i) {
        const auto name = keyName(lines[i].text);
        if (name && !name->empty()) names.push_back(*name);
      }
    }
    return copyList(names, buffer, size);
  }

  if (read) {
    const auto found = read->keyLines.find(lowerCase(section) + "\n" + lowerCase(key));
    if (found != read->keyLines.end())
      return copyValue(valueOf(lines[found->second].text), buffer, size);
  }
  std::string_view fallbackText = fallback != nullptr ? fallback : "";
  const size_t last = fallbackText.find_last_not_of(blanks);
  fallbackText =
      last == std::string_view::npos ? std::string_view{} : fallbackText.substr(0, last + 1);
  return copyValue(fallbackText, buffer, size);
}

}  // extern "C"
