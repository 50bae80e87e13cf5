// The studio's routes and the checks every request passes: see
// studio_server.h.
#include "studio_server.h"

#include <sys/random.h>

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

#include "studio_assets.h"

namespace vtstudio {

namespace {

const char* const tokenHeader = "x-vortigen-token";

// A refusal of the studio's own: its status and the sentence the page
// shows.
struct Refusal : std::runtime_error {
  int status;
  Refusal(int code, const std::string& sentence) : std::runtime_error(sentence), status(code) {}
};

// Compares without stopping at the first difference, so that the time a
// refusal takes tells nothing about how much of a guess was right.
bool sameToken(const std::string& given, const std::string& token) {
  if (given.size() != token.size() || token.empty()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < token.size(); ++i)
    difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  return difference == 0;
}

HttpResponse jsonResponse(const Json& body, int status = 200) {
  HttpResponse response;
  response.set(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json",
               status);
  return response;
}

HttpResponse errorResponse(int status, const std::string& sentence) {
  return jsonResponse(Json{{"error", sentence}}, status);
}

Json soundJson(const Sound& sound) {
  return Json{{"id", sound.id},
              {"name", sound.name},
              {"channels", sound.audio.channels},
              {"bits", sound.audio.bitsPerSample},
              {"sampleRate", sound.audio.sampleRate},
              {"frames", sound.audio.frames()},
              {"note", sound.audio.conversionNote}};
}

long long numberParameter(const HttpRequest& request, const char* name, long long fallback) {
  if (!request.hasParam(name)) return fallback;
  const std::string text = request.param(name);
  try {
    size_t used = 0;
    const long long value = std::stoll(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw Refusal(400, "The parameter " + std::string(name) + " is not a whole number.");
}

// A text parameter, no longer than a name or a preset text may be.
std::string textParameter(const HttpRequest& request, const char* name,
                          const std::string& fallback = "") {
  if (!request.hasParam(name)) return fallback;
  std::string text = request.param(name);
  if (text.size() > 4096)
    throw Refusal(400, "The parameter " + std::string(name) + " is longer than 4096 bytes.");
  return text;
}

void sendSamples(HttpResponse& response, const std::vector<int16_t>& samples, const Sound& sound,
                 FrameRange range) {
  response.header("X-Channels", std::to_string(sound.audio.channels));
  response.header("X-Sample-Rate", std::to_string(sound.audio.sampleRate));
  response.header("X-First", std::to_string(range.first));
  response.header("X-End", std::to_string(range.end));
  response.set(
      std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(int16_t)),
      "application/octet-stream");
}

std::string escapeForPattern(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

// Which preview of each page is the newest: a page's newer preview
// request stops its older ones, so the processing goes to what the person
// hears now. Pages are known by the name they give; the oldest names are
// forgotten past a few hundred.
class PreviewTickets {
 public:
  // A ticket for a new preview of `listener` (none named: never replaced).
  uint64_t take(const std::string& listener) {
    std::lock_guard lock(mutex_);
    const uint64_t ticket = ++issued_;
    if (listener.empty()) return ticket;
    if (newest_.size() >= 256 && !newest_.count(listener)) {
      auto oldest =
          std::min_element(newest_.begin(), newest_.end(),
                           [](const auto& a, const auto& b) { return a.second < b.second; });
      newest_.erase(oldest);
    }
    newest_[listener] = ticket;
    return ticket;
  }
  bool replaced(const std::string& listener, uint64_t ticket) const {
    if (listener.empty()) return false;
    std::lock_guard lock(mutex_);
    const auto found = newest_.find(listener);
    return found != newest_.end() && found->second != ticket;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, uint64_t> newest_;
  uint64_t issued_ = 0;
};

}  // namespace

bool isLoopbackAddress(const std::string& address) {
  if (address == "localhost") return true;
  boost::system::error_code error;
  const boost::asio::ip::address ip = boost::asio::ip::make_address(address, error);
  return !error && ip.is_loopback();
}

std::string urlHost(const std::string& address) {
  boost::system::error_code error;
  const boost::asio::ip::address ip = boost::asio::ip::make_address(address, error);
  if (error) return address;
  if (ip.is_v6()) return "[" + ip.to_string() + "]";
  return ip.to_string();
}

std::string randomToken() {
  unsigned char bytes[16];
  size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (got <= 0)
      throw std::runtime_error("The system gave no random numbers for the studio's token.");
    filled += static_cast<size_t>(got);
  }
  std::string token;
  for (unsigned char b : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", b);
    token += pair;
  }
  return token;
}

struct StudioServer::Impl {
  DialogSession& dialogs;
  SoundFiles& sounds;
  Processing& processing;
  ServerSettings settings;
  std::vector<std::string> problems;  // files named on the command line that could not be read
  HttpServer http;
  PreviewTickets previews;
  int port = 0;

  Impl(DialogSession& d, SoundFiles& s, Processing& p, ServerSettings chosen)
      : dialogs(d), sounds(s), processing(p), settings(std::move(chosen)), http(settings.limits) {}

  // The address the server binds: localhost is 127.0.0.1, so that the
  // name never depends on what a resolver says.
  std::string bindAddress() const {
    return settings.address == "localhost" ? "127.0.0.1" : settings.address;
  }

  // The studio's own names as a browser writes them in Host and Origin. On
  // a loopback address only those; on another address (chosen with a
  // warning) the name other machines reach it by, which the studio cannot
  // know, so there the token alone keeps others out.
  bool ownHost(const std::string& host) const {
    if (!isLoopbackAddress(settings.address)) return !host.empty();
    const std::string suffix = ":" + std::to_string(port);
    return host == urlHost(bindAddress()) + suffix || host == "localhost" + suffix;
  }

  // Host, Origin and token, from the head of the request alone; sets how
  // large a body the request may then send.
  std::optional<HttpResponse> guard(const HttpRequest& request, size_t* bodyLimit) const {
    const std::string host = request.header("host");
    if (!ownHost(host)) {
      return errorResponse(
          403,
          "The request names another host than the studio's; open the address the studio printed.");
    }
    // A browser names the page a request comes from; only the studio's own
    // page, served under the same host, may ask.
    if (request.hasHeader("origin") && request.header("origin") != "http://" + host)
      return errorResponse(403, "Requests from another origin are refused.");
    const std::string given =
        request.hasHeader(tokenHeader) ? request.header(tokenHeader) : request.param("token");
    if (!sameToken(given, settings.token)) {
      return errorResponse(403,
                           "The request carries no valid token; open the address the studio "
                           "printed, token included.");
    }
    if (request.method != "POST") return std::nullopt;
    *bodyLimit = request.path == "/api/sounds" ? settings.uploadLimit : settings.json.bytes;
    if (request.path == "/api/sounds" && request.hasHeader("content-length")) {
      const std::string length = request.header("content-length");
      if (length.size() > 18 || std::stoull("0" + length) > settings.uploadLimit) {
        return errorResponse(413, "The upload is larger than the studio accepts (" +
                                      std::to_string(settings.uploadLimit >> 20) +
                                      " MB); open large files from the command line, or give "
                                      "--max-upload.");
      }
    }
    return std::nullopt;
  }

  std::shared_ptr<const Sound> soundOf(const HttpRequest& request) const {
    const std::string digits = request.matches.at(0);
    std::shared_ptr<const Sound> sound =
        digits.size() < 9 ? sounds.find(std::stoi(digits)) : nullptr;
    if (sound == nullptr) throw Refusal(404, "There is no opened sound " + digits + ".");
    return sound;
  }

  CurveSet curvesOf(const std::string& effect) const {
    const CurveSet curves = dialogs.curves(effect);
    if (curves.empty()) throw Refusal(400, "There is no effect \"" + effect + "\" in the studio.");
    return curves;
  }

  void failed(std::exception_ptr thrown, const HttpRequest& request, HttpResponse& response) {
    try {
      std::rethrow_exception(thrown);
    } catch (const Refusal& e) {
      response = errorResponse(e.status, e.what());
    } catch (const vtmedia::AudioError& e) {
      response = errorResponse(422, e.what());
    } catch (const vthost::HostError& e) {
      response = errorResponse(422, e.what());
    } catch (const std::exception& e) {
      // What went wrong inside stays in the log; the page gets a sentence.
      std::fprintf(stderr, "studio: %s %s failed: %s\n", request.method.c_str(),
                   pathForLog(request.target).c_str(), e.what());
      response = errorResponse(
          500, "The studio could not carry out the request (see its log); it goes on.");
    }
  }

  // The checks every request passes, how refusals and failures are
  // answered, and the headers every answer carries.
  void guardRequests() {
    http.setHeadCheck(
        [this](const HttpRequest& q, size_t* bodyLimit) { return guard(q, bodyLimit); });
    http.setRefusalFormat(errorResponse);
    http.setFailureHandler(
        [this](std::exception_ptr e, const HttpRequest& q, HttpResponse& r) { failed(e, q, r); });
    if (settings.logger) http.setLogger(settings.logger);
    http.setDefaultHeaders({{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Referrer-Policy", "no-referrer"},
                            {"X-Frame-Options", "DENY"}});
  }

  // The page's own files, with the token written into them.
  void routeAssets() {
    for (const StudioAsset& asset : studioAssets()) {
      const std::string path = asset.path;
      auto serveAsset = [this, &asset](HttpRequest&, HttpResponse& r) {
        std::string body(reinterpret_cast<const char*>(asset.data), asset.size);
        // The page passes the token on to the files it loads.
        for (size_t at; (at = body.find("{{TOKEN}}")) != std::string::npos;)
          body.replace(at, 9, settings.token);
        r.header("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data: blob:; media-src 'self' blob:; "
                 "frame-ancestors 'none'; form-action 'none'");
        r.set(body, asset.type);
      };
      http.route("GET", "/" + escapeForPattern(path), serveAsset);
      if (path == "index.html") http.route("GET", "/", serveAsset);
    }
  }

  // What the page starts from, and the dialog's actions.
  void routeStateAndDialog() {
    http.route("GET", "/api/state", [this](HttpRequest&, HttpResponse& r) {
      Json list = Json::array();
      for (const auto& sound : sounds.all()) list.push_back(soundJson(*sound));
      r = jsonResponse(Json{{"sounds", list},
                            {"dialog", dialogs.act(Json{{"kind", "view"}})},
                            {"problems", problems},
                            {"uploadLimit", settings.uploadLimit},
                            {"previewSeconds", previewSeconds}});
    });
    http.route("POST", "/api/dialog", [this](HttpRequest& q, HttpResponse& r) {
      Json action;
      try {
        action = parseRequestJson(q.body, settings.json);
      } catch (const std::invalid_argument& e) {
        throw Refusal(400, e.what());
      }
      r = jsonResponse(dialogs.act(action));
    });
  }

  // Uploads, and a sound's overview and original samples.
  void routeSounds() {
    http.route("POST", "/api/sounds", [this](HttpRequest& q, HttpResponse& r) {
      r = jsonResponse(soundJson(*sounds.openUpload(textParameter(q, "name", "upload"), q.body)));
    });
    http.route("GET", R"(/api/sounds/(\d+)/peaks)", [this](HttpRequest& q, HttpResponse& r) {
      const auto sound = soundOf(q);
      const auto columns =
          static_cast<int>(std::clamp<long long>(numberParameter(q, "columns", 1000), 1, 8000));
      r = jsonResponse(Json{{"peaks", peaks(sound->audio, columns)}});
    });
    http.route("GET", R"(/api/sounds/(\d+)/original)", [this](HttpRequest& q, HttpResponse& r) {
      const auto sound = soundOf(q);
      const FrameRange range = previewRange(sound->audio, numberParameter(q, "from", 0),
                                            numberParameter(q, "to", sound->audio.frames()));
      sendSamples(r, samples16(sound->audio, range), *sound, range);
    });
  }

  // The processed selection (from..to), or the part of it from `at` to
  // `until`. A page names itself with `listener`: its newer preview stops
  // its older ones, which answer 409.
  void routePreview() {
    http.route("GET", R"(/api/sounds/(\d+)/preview)", [this](HttpRequest& q, HttpResponse& r) {
      const auto sound = soundOf(q);
      const std::string effect = textParameter(q, "effect");
      const CurveSet curves = curvesOf(effect);
      const FrameRange selection = previewRange(sound->audio, numberParameter(q, "from", 0),
                                                numberParameter(q, "to", sound->audio.frames()));
      const FrameRange part{std::clamp<int64_t>(numberParameter(q, "at", selection.first),
                                                selection.first, selection.end),
                            std::clamp<int64_t>(numberParameter(q, "until", selection.end),
                                                selection.first, selection.end)};
      if (part.frames() <= 0) throw Refusal(400, "The part of the preview asked for is empty.");
      const std::string listener = textParameter(q, "listener");
      if (listener.size() > 64)
        throw Refusal(400, "The parameter listener is longer than 64 bytes.");
      const uint64_t ticket = previews.take(listener);
      try {
        sendSamples(r,
                    processing.previewPart(effect, curves, sound->audio, selection, part,
                                           [&] { return previews.replaced(listener, ticket); }),
                    *sound, part);
      } catch (const PreviewStopped& e) {
        throw Refusal(409, e.what());
      }
    });
  }

  // The whole sound processed by the plug-in itself, as a file.
  void routeExport() {
    http.route("GET", R"(/api/sounds/(\d+)/export)", [this](HttpRequest& q, HttpResponse& r) {
      // The curves exported are the ones the page shows, or none.
      if (q.hasParam("version") &&
          numberParameter(q, "version", 0) != static_cast<long long>(dialogs.version())) {
        throw Refusal(409,
                      "The curves were changed in another tab; this page now shows them. Export "
                      "again to use them.");
      }
      const auto sound = soundOf(q);
      const std::string effect = textParameter(q, "effect");
      const CurveSet curves = curvesOf(effect);
      const std::string name = safeFileName(textParameter(q, "name", "processed.wav"));
      std::string presetName = textParameter(q, "preset");
      // Commas are left out, as presetText does; what else a profile could
      // not keep is refused.
      presetName.erase(std::remove(presetName.begin(), presetName.end(), ','), presetName.end());
      if (const std::string problem = vtengine::presetNameProblem(presetName); !problem.empty())
        throw Refusal(400, problem);
      const std::string text = presetText(presetName, curves);
      r.set(processing.exportFile(effect, text, *sound, name), "application/octet-stream");
      r.header("Content-Disposition", "attachment; filename=\"" + name + "\"");
      r.header("X-Preset-Text", text);
    });
  }

  void routes() {
    guardRequests();
    routeAssets();
    routeStateAndDialog();
    routeSounds();
    routePreview();
    routeExport();
  }
};

StudioServer::StudioServer(DialogSession& dialogs, SoundFiles& sounds, Processing& processing,
                           ServerSettings settings)
    : impl_(new Impl(dialogs, sounds, processing, std::move(settings))) {
  if (impl_->settings.token.empty()) impl_->settings.token = randomToken();
  impl_->routes();
}

StudioServer::~StudioServer() = default;

void StudioServer::reportProblem(const std::string& sentence) {
  impl_->problems.push_back(sentence);
}

int StudioServer::bind() {
  Impl& s = *impl_;
  try {
    s.port = s.http.bind(s.bindAddress(), s.settings.port);
  } catch (const std::runtime_error& e) {
    // Said as the tool says a failure of its own: one sentence, exit 1.
    throw vthost::HostError("The studio could not listen on " + s.settings.address +
                            (s.settings.port ? " port " + std::to_string(s.settings.port) : "") +
                            " (" + e.what() +
                            "); give another --address or --port, or stop what "
                            "uses it.");
  }
  return s.port;
}

void StudioServer::serve() { impl_->http.serve(); }

void StudioServer::stop() { impl_->http.stop(); }

std::string StudioServer::url() const {
  const std::string& address = impl_->settings.address;
  const std::string host = address == "0.0.0.0" ? "127.0.0.1"
                           : address == "::"    ? "[::1]"
                                                : urlHost(address);
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + impl_->settings.token;
}

}  // namespace vtstudio
