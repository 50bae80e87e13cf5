// Shards of a batch: parsing K/N and the hash of a file's name.
#include "shard.h"

#include <charconv>
#include <string_view>

#include "usage_error.h"

namespace vortigen {

Shard parseShard(const std::string& text) {
  // Whole decimal numbers only: a count past int's range is refused, not wrapped.
  const auto number = [](std::string_view part, int& value) {
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    return !part.empty() && error == std::errc() && end == part.data() + part.size();
  };
  Shard shard;
  const std::string_view whole(text);
  const size_t slash = whole.find('/');
  const bool valid = slash != std::string_view::npos &&
                     number(whole.substr(0, slash), shard.index) &&
                     number(whole.substr(slash + 1), shard.count);
  if (!valid || shard.count < 1 || shard.index < 1 || shard.index > shard.count) {
    throw UsageError("--shard " + text +
                     " is no slice; give K/N with 1 <= K <= N, as in --shard 2/8.");
  }
  return shard;
}

uint64_t nameHash(const std::string& name) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace vortigen
