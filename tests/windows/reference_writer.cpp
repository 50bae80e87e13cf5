// Writes what the Linux build of the plug-ins makes of every signal case,
// for the Windows test host to compare its own results with.
//
//   vtwinref DIRECTORY DYNAMIC_LIBRARY FOURIER_LIBRARY
//
// DIRECTORY (made if missing)/CASE.raw holds the case's input bytes followed by the
// processed bytes (the whole waveform each time).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "signal_cases.h"
#include "vthost.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DIRECTORY DYNAMIC_LIBRARY FOURIER_LIBRARY\n", argv[0]);
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(argv[1], error);
  try {
    vthost::PluginLibrary dynamic(argv[2]);
    vthost::PluginLibrary fourier(argv[3]);
    for (const wincases::SignalCase& c : wincases::signalCases()) {
      vthost::PluginLibrary& library = std::string(c.effect) == "dynamic" ? dynamic : fourier;
      const vthost::WaveFormat format{static_cast<WORD>(c.channels),
                                      static_cast<WORD>(c.bitsPerSample), c.sampleRate};
      const std::vector<uint8_t> input = wincases::testSignal(c);
      vthost::EffectHost host(library, format, input);
      if (host.init() != 1) throw vthost::HostError("XfmInit of " + library.path() + " failed.");
      host.applyPreset(wincases::presetFor(c));
      const int result = host.process(wincases::selectionFirst, wincases::selectionLast);
      if (result != 0 || !host.errors().empty()) {
        throw vthost::HostError("XfmDo of " + library.path() + " failed on " +
                                wincases::caseName(c) +
                                (host.errors().empty() ? "." : ": " + host.errors().front()));
      }
      host.destroy();

      const std::string path = std::string(argv[1]) + "/" + wincases::caseName(c) + ".raw";
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(input.data()),
                static_cast<std::streamsize>(input.size()));
      out.write(reinterpret_cast<const char*>(host.waveform().data()),
                static_cast<std::streamsize>(host.waveform().size()));
      out.close();
      if (!out) {
        std::fprintf(stderr, "vtwinref: could not write %s; check that the directory exists.\n",
                     path.c_str());
        return 1;
      }
    }
  } catch (const vthost::HostError& e) {
    std::fprintf(stderr, "vtwinref: %s\n", e.what());
    return 1;
  }
  return 0;
}
