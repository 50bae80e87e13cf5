// Checks a request's JSON against its limits as a stream of events, so that
// nothing deep or large is built before it is refused: see request_json.h.
#include "request_json.h"

#include <stdexcept>
#include <vector>

namespace vtstudio {

namespace {

using Json = nlohmann::json;

class LimitCheck : public nlohmann::json_sax<Json> {
 public:
  explicit LimitCheck(const JsonLimits& limits) : limits_(limits) {}
  const std::string& refusal() const { return refusal_; }

  bool null() override { return item(); }
  bool boolean(bool) override { return item(); }
  bool number_integer(number_integer_t) override { return item(); }
  bool number_unsigned(number_unsigned_t) override { return item(); }
  bool number_float(number_float_t, const string_t&) override { return item(); }
  bool string(string_t& text) override { return fits(text) && item(); }
  bool binary(binary_t&) override { return item(); }
  bool key(string_t& text) override { return fits(text) && item(); }
  bool start_object(std::size_t) override { return open(); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    if (refusal_.empty()) refusal_ = "The request is not JSON.";
    return false;
  }

 private:
  bool refuse(const std::string& sentence) {
    refusal_ = sentence;
    return false;
  }
  // One more value (or key) in the array or object now open.
  bool item() {
    if (!counts_.empty() && ++counts_.back() > limits_.items) {
      return refuse("A list in the request holds more than " + std::to_string(limits_.items) +
                    " items, the most the studio takes.");
    }
    return true;
  }
  bool fits(const std::string& text) {
    if (text.size() <= limits_.stringBytes) return true;
    return refuse("A string in the request is longer than " + std::to_string(limits_.stringBytes) +
                  " bytes, the most the studio takes.");
  }
  bool open() {
    if (!item()) return false;
    if (counts_.size() >= static_cast<size_t>(limits_.depth)) {
      return refuse("The request nests deeper than " + std::to_string(limits_.depth) +
                    " levels, the most the studio takes.");
    }
    counts_.push_back(0);
    return true;
  }
  bool close() {
    counts_.pop_back();
    return true;
  }

  const JsonLimits& limits_;
  std::vector<size_t> counts_;  // values so far in each array or object open
  std::string refusal_;
};

}  // namespace

Json parseRequestJson(const std::string& text, const JsonLimits& limits) {
  if (text.size() > limits.bytes) {
    throw std::invalid_argument("The request is larger than " + std::to_string(limits.bytes) +
                                " bytes, the most the studio takes.");
  }
  LimitCheck check(limits);
  if (!Json::sax_parse(text, &check)) throw std::invalid_argument(check.refusal());
  return Json::parse(text);
}

}  // namespace vtstudio
