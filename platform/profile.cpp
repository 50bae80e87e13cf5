// Linux stand-in for the Windows profile (initialisation file) services.
//
// The file is read as lines and changed line by line, so that everything
// the change does not concern stays byte for byte as it was: comments,
// blank lines, other sections, the case of names and the line endings.
// A changed file is written next to the old one and renamed over it, so a
// failed write leaves the old file whole.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
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

bool readLines(const char* fileName, std::vector<Line>& lines) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
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
  return true;
}

bool writeLines(const char* fileName, const std::vector<Line>& lines) {
  const std::string temporary = std::string(fileName) + ".vtwrite";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const Line& line : lines) out << line.text << line.ending;
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), fileName) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
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
  std::vector<Line> lines;
  const bool existed = readLines(fileName, lines);
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
  std::vector<Line> lines;
  if (fileName != nullptr) readLines(fileName, lines);

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

  const std::optional<SectionSpan> span = findSection(lines, section);
  if (key == nullptr) {
    std::vector<std::string_view> names;
    if (span) {
      for (size_t i = span->header + 1; i < span->end; ++i) {
        const auto name = keyName(lines[i].text);
        if (name && !name->empty()) names.push_back(*name);
      }
    }
    return copyList(names, buffer, size);
  }

  if (const size_t at = findKey(lines, span, key); at != noLine) {
    return copyValue(valueOf(lines[at].text), buffer, size);
  }
  std::string_view fallbackText = fallback != nullptr ? fallback : "";
  const size_t last = fallbackText.find_last_not_of(blanks);
  fallbackText =
      last == std::string_view::npos ? std::string_view{} : fallbackText.substr(0, last + 1);
  return copyValue(fallbackText, buffer, size);
}

}  // extern "C"
