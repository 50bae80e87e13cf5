// preset_add_bench: Add in the studio's settings dialog when the profile
// already holds 3000 presets of the effect: the whole of it, as the page
// waits for it (the name typed, Add pressed, the list read anew; target:
// under 100 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "dialog_session.h"

namespace {

const std::map<std::string, std::string> plugins{{"dynamic", VORTIGEN_DYNAMIC_PLUGIN},
                                                 {"fourier", VORTIGEN_FOURIER_PLUGIN}};

void AddToAProfileOf3000Presets(benchmark::State& state) {
  const std::string profile = "/tmp/vortigen-preset-add-bench.ini";
  {
    std::ofstream out(profile, std::ios::binary | std::ios::trunc);
    out << "[Vortigens\\Dynamic]\r\n";
    for (int i = 1; i <= 3000; ++i) {
      out << "Item" << i << "=Stored " << i
          << ",3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834\r\n";
    }
  }
  // A profile the user has kept for a while, not one just written.
  std::filesystem::last_write_time(
      profile, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  vtstudio::DialogSession session(plugins, profile);
  session.act({{"kind", "view"}});
  int added = 0;
  for (auto _ : state) {
    session.act({{"kind", "type"}, {"text", "Bench " + std::to_string(++added)}});
    const vtstudio::Json d = session.act({{"kind", "click"}, {"id", 325}});
    if (!d["notes"].empty()) state.SkipWithError(d["notes"].dump().c_str());
  }
  std::remove(profile.c_str());
}
BENCHMARK(AddToAProfileOf3000Presets)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
