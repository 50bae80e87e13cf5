// JSON from requests: each limit refuses the first value past it and no
// value at it, and names itself.
#include <gtest/gtest.h>

#include "request_json.h"

namespace {

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string listOf(int items) {
  std::string text = "[";
  for (int i = 0; i < items; ++i) text += i ? ",1" : "1";
  return text + "]";
}

struct JsonCase {
  const char* fault;
  std::string text;
  const char* refusal;  // nullptr: taken
};

TEST(StudioRequestJson, EachLimitHoldsAtItsEdge) {
  vtstudio::JsonLimits limits;
  limits.bytes = 2000;
  limits.depth = 4;
  limits.items = 5;
  limits.stringBytes = 8;
  const std::vector<JsonCase> cases{
      {"4 deep", nested(4), nullptr},
      {"5 deep", nested(5), "nests deeper than 4 levels"},
      {"5 deep in an object", R"({"a":{"b":{"c":{"d":{}}}}})", "nests deeper than 4 levels"},
      {"5 items", listOf(5), nullptr},
      {"6 items", listOf(6), "more than 5 items"},
      {"6 keys", R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6})", "more than 5 items"},
      {"8-byte string", R"(["12345678"])", nullptr},
      {"9-byte string", R"(["123456789"])", "longer than 8 bytes"},
      {"9-byte key", R"({"123456789":0})", "longer than 8 bytes"},
      {"2001 bytes", std::string(2000, ' ') + "1", "larger than 2000 bytes"},
      {"trailing text", "{} x", "not JSON"},
      {"empty", "", "not JSON"},
  };
  for (const JsonCase& c : cases) {
    try {
      vtstudio::parseRequestJson(c.text, limits);
      EXPECT_EQ(c.refusal, nullptr) << c.fault << " was taken";
    } catch (const std::invalid_argument& e) {
      ASSERT_NE(c.refusal, nullptr) << c.fault << " was refused: " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos)
          << c.fault << ": " << e.what();
    }
  }
}

TEST(StudioRequestJson, TheValueTakenIsTheValueSent) {
  const auto value = vtstudio::parseRequestJson(R"({"kind":"mouse","x":3,"y":[1,2]})");
  EXPECT_EQ(value["kind"], "mouse");
  EXPECT_EQ(value["y"][1], 2);
}

}  // namespace
