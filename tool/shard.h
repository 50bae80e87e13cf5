// Shards of a batch: which of N machines processes a file. The shard is a
// function of the file's name alone (its output name too, unique in a
// batch), so that every listing of the inputs, in any order, spelled with
// relative or absolute paths, with files added later, splits the same way.
#ifndef VORTIGEN_TOOL_SHARD_H
#define VORTIGEN_TOOL_SHARD_H

#include <cstdint>
#include <string>

namespace vortigen {

struct Shard {
  int index = 1;  // 1..count
  int count = 1;
};

// "K/N" with 1 <= K <= N; throws UsageError naming the text otherwise.
Shard parseShard(const std::string& text);

// 64-bit FNV-1a of the name's bytes: fixed by its definition, the same on
// every machine and in every version of the tool.
uint64_t nameHash(const std::string& name);

// Shard K of N holds the files whose name hashes to K - 1 modulo N.
inline bool inShard(const std::string& name, const Shard& shard) {
  return nameHash(name) % uint64_t(shard.count) == uint64_t(shard.index - 1);
}

}  // namespace vortigen

#endif
