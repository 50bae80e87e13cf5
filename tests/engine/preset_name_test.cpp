// The rule for names given to presets: one line of a profile, no section
// or key of the name's making, no field of the preset text cut short.
#include <gtest/gtest.h>

#include "curves.h"

namespace {

struct NameCase {
  const char* name;
  const char* refusal;  // a word the sentence must hold; nullptr: taken
};

TEST(PresetNames, NamesThatWouldWriteTheirOwnProfileLinesAreRefused) {
  const NameCase cases[] = {
      {"Mine (studio)", nullptr},
      {"Soft Release+Chaos", nullptr},
      {"a=b", nullptr},
      {"Ünïcode ok", nullptr},
      {"Evil\r\n[Hijack]\r\nInjected=1", "control characters"},
      {"line\nbreak", "control characters"},
      {"tab\there", "control characters"},
      {"bell\a", "control characters"},
      {"del\x7f", "control characters"},
      {"[Hijack]", "'['"},
      {"close]", "']'"},
      {"=Item", "starts with '='"},
      {"a,b", "comma"},
  };
  for (const NameCase& c : cases) {
    const std::string problem = vtengine::presetNameProblem(c.name);
    if (c.refusal == nullptr) {
      EXPECT_EQ(problem, "") << c.name;
    } else {
      EXPECT_NE(problem.find(c.refusal), std::string::npos) << c.name << ": " << problem;
    }
  }
}

}  // namespace
