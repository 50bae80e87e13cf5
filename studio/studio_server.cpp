#include "studio_server.h"

#include <httplib.h>
#include <sys/random.h>

#include <cstdio>
#include <stdexcept>

#include "studio_assets.h"

namespace vtstudio {

namespace {

const char* const tokenHeader = "X-Vortigen-Token";

// Compares without stopping at the first difference, so that the time a
// refusal takes tells nothing about how much of a guess was right.
bool sameToken(const std::string& given, const std::string& token) {
  if (given.size() != token.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < token.size(); ++i)
    difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  return difference == 0;
}

void sendJson(httplib::Response& response, const Json& body, int status = 200) {
  response.status = status;
  response.set_content(body.dump(), "application/json");
}

void sendError(httplib::Response& response, int status, const std::string& sentence) {
  sendJson(response, Json{{"error", sentence}}, status);
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

long long numberParameter(const httplib::Request& request, const char* name, long long fallback) {
  if (!request.has_param(name)) return fallback;
  const std::string text = request.get_param_value(name);
  try {
    size_t used = 0;
    const long long value = std::stoll(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw std::invalid_argument("The parameter " + std::string(name) + " is not a whole number.");
}

void sendSamples(httplib::Response& response, const std::vector<int16_t>& samples,
                 const Sound& sound, FrameRange range) {
  response.set_header("X-Channels", std::to_string(sound.audio.channels));
  response.set_header("X-Sample-Rate", std::to_string(sound.audio.sampleRate));
  response.set_header("X-First", std::to_string(range.first));
  response.set_header("X-End", std::to_string(range.end));
  response.set_content(reinterpret_cast<const char*>(samples.data()),
                       samples.size() * sizeof(int16_t), "application/octet-stream");
}

}  // namespace

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
  httplib::Server server;
  int port = 0;

  bool loopback() const {
    return settings.address == "127.0.0.1" || settings.address == "localhost";
  }

  // The studio's own names as a browser writes them in Host and Origin. On
  // the loopback address only those; on another address (chosen with a
  // warning) the name other machines reach it by, which the studio cannot
  // know, so there the token alone keeps others out.
  bool ownHost(const std::string& host) const {
    if (!loopback()) return !host.empty();
    const std::string suffix = ":" + std::to_string(port);
    for (const char* name : {"127.0.0.1", "localhost"}) {
      if (host == name + suffix) return true;
    }
    return false;
  }

  httplib::Server::HandlerResponse guard(const httplib::Request& request,
                                         httplib::Response& response) const {
    const std::string host = request.get_header_value("Host");
    if (!ownHost(host)) {
      sendError(
          response, 403,
          "The request names another host than the studio's; open the address the studio printed.");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A browser names the page a request comes from; only the studio's own
    // page, served under the same host, may ask.
    const std::string origin = request.get_header_value("Origin");
    if (request.has_header("Origin") && origin != "http://" + host) {
      sendError(response, 403, "Requests from another origin (" + origin + ") are refused.");
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string given = request.has_header(tokenHeader)
                                  ? request.get_header_value(tokenHeader)
                                  : request.get_param_value("token");
    if (!sameToken(given, settings.token)) {
      sendError(response, 403,
                "The request carries no valid token; open the address the studio printed, token "
                "included.");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  std::shared_ptr<const Sound> soundOf(const httplib::Request& request) const {
    const std::string digits = request.matches[1];
    std::shared_ptr<const Sound> sound =
        digits.size() < 9 ? sounds.find(std::stoi(digits)) : nullptr;
    if (sound == nullptr) throw std::out_of_range("There is no opened sound " + digits + ".");
    return sound;
  }

  void routes() {
    server.set_pre_routing_handler(
        [this](const httplib::Request& q, httplib::Response& r) { return guard(q, r); });
    server.set_payload_max_length(settings.uploadLimit);
    server.set_default_headers({{"Cache-Control", "no-store"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "DENY"}});
    server.set_exception_handler([](const httplib::Request&, httplib::Response& r,
                                    std::exception_ptr thrown) {
      try {
        std::rethrow_exception(thrown);
      } catch (const std::out_of_range& e) {
        sendError(r, 404, e.what());
      } catch (const std::invalid_argument& e) {
        sendError(r, 400, e.what());
      } catch (const vortigen::AudioError& e) {
        sendError(r, 422, e.what());
      } catch (const vthost::HostError& e) {
        sendError(r, 422, e.what());
      } catch (const std::exception& e) {
        sendError(r, 500, std::string(e.what()) + " (a fault of the studio; the server goes on)");
      }
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& r) {
      if (!r.body.empty()) return;
      if (r.status == 413) {
        sendError(r, 413,
                  "The upload is larger than the studio accepts; open large files from the command "
                  "line.");
      } else {
        sendError(r, r.status, "Nothing here.");
      }
    });

    for (const StudioAsset& asset : studioAssets()) {
      const std::string path = asset.path;
      auto serveAsset = [this, &asset](const httplib::Request&, httplib::Response& r) {
        std::string body(reinterpret_cast<const char*>(asset.data), asset.size);
        // The page passes the token on to the files it loads.
        for (size_t at; (at = body.find("{{TOKEN}}")) != std::string::npos;)
          body.replace(at, 9, settings.token);
        r.set_header("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' data: blob:; media-src 'self' blob:; "
                     "frame-ancestors 'none'; form-action 'none'");
        r.set_content(body, asset.type);
      };
      server.Get("/" + path, serveAsset);
      if (path == "index.html") server.Get("/", serveAsset);
    }

    server.Get("/api/state", [this](const httplib::Request&, httplib::Response& r) {
      Json list = Json::array();
      for (const auto& sound : sounds.all()) list.push_back(soundJson(*sound));
      sendJson(r, Json{{"sounds", list},
                       {"dialog", dialogs.act(Json{{"kind", "view"}})},
                       {"problems", problems},
                       {"uploadLimit", settings.uploadLimit},
                       {"previewSeconds", previewSeconds}});
    });
    server.Post("/api/dialog", [this](const httplib::Request& q, httplib::Response& r) {
      const Json request = Json::parse(q.body, nullptr, false);
      if (request.is_discarded()) throw std::invalid_argument("The dialog action is not JSON.");
      sendJson(r, dialogs.act(request));
    });
    server.Post("/api/sounds", [this](const httplib::Request& q, httplib::Response& r) {
      const std::string name = q.has_param("name") ? q.get_param_value("name") : "upload";
      sendJson(r, soundJson(*sounds.openUpload(name, q.body)));
    });
    server.Get(
        R"(/api/sounds/(\d+)/peaks)", [this](const httplib::Request& q, httplib::Response& r) {
          const auto sound = soundOf(q);
          const auto columns =
              static_cast<int>(std::clamp<long long>(numberParameter(q, "columns", 1000), 1, 8000));
          sendJson(r, Json{{"peaks", peaks(sound->audio, columns)}});
        });
    server.Get(
        R"(/api/sounds/(\d+)/original)", [this](const httplib::Request& q, httplib::Response& r) {
          const auto sound = soundOf(q);
          const FrameRange range = previewRange(sound->audio, numberParameter(q, "from", 0),
                                                numberParameter(q, "to", sound->audio.frames()));
          sendSamples(r, samples16(sound->audio, range), *sound, range);
        });
    server.Get(
        R"(/api/sounds/(\d+)/preview)", [this](const httplib::Request& q, httplib::Response& r) {
          const auto sound = soundOf(q);
          const std::string effect = q.get_param_value("effect");
          const CurveSet curves = dialogs.curves(effect);
          if (curves.empty())
            throw std::invalid_argument("There is no effect \"" + effect + "\" in the studio.");
          const FrameRange range = previewRange(sound->audio, numberParameter(q, "from", 0),
                                                numberParameter(q, "to", sound->audio.frames()));
          sendSamples(r, processing.preview(effect, curves, sound->audio, range), *sound, range);
        });
    server.Get(
        R"(/api/sounds/(\d+)/export)", [this](const httplib::Request& q, httplib::Response& r) {
          const auto sound = soundOf(q);
          const std::string effect = q.get_param_value("effect");
          const CurveSet curves = dialogs.curves(effect);
          if (curves.empty())
            throw std::invalid_argument("There is no effect \"" + effect + "\" in the studio.");
          const std::string name =
              safeFileName(q.has_param("name") ? q.get_param_value("name") : "processed.wav");
          const std::string text = presetText(q.get_param_value("preset"), curves);
          r.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
          r.set_header("X-Preset-Text", text);
          r.set_content(processing.exportFile(effect, text, sound->audio, name),
                        "application/octet-stream");
        });
  }
};

StudioServer::StudioServer(DialogSession& dialogs, SoundFiles& sounds, Processing& processing,
                           ServerSettings settings)
    : impl_(new Impl{dialogs, sounds, processing, std::move(settings), {}, {}, 0}) {
  if (impl_->settings.token.empty()) impl_->settings.token = randomToken();
  impl_->routes();
}

StudioServer::~StudioServer() = default;

void StudioServer::reportProblem(const std::string& sentence) {
  impl_->problems.push_back(sentence);
}

int StudioServer::bind() {
  Impl& s = *impl_;
  const bool bound = s.settings.port == 0
                         ? (s.port = s.server.bind_to_any_port(s.settings.address)) > 0
                         : s.server.bind_to_port(s.settings.address, s.settings.port);
  if (!bound) {
    // Said as the tool says a failure of its own: one sentence, exit 1.
    throw vthost::HostError("The studio could not listen on " + s.settings.address +
                            (s.settings.port ? " port " + std::to_string(s.settings.port) : "") +
                            "; give another --port, or stop what uses it.");
  }
  if (s.settings.port != 0) s.port = s.settings.port;
  return s.port;
}

void StudioServer::serve() { impl_->server.listen_after_bind(); }

void StudioServer::stop() { impl_->server.stop(); }

std::string StudioServer::url() const {
  const std::string host =
      impl_->settings.address == "0.0.0.0" ? "127.0.0.1" : impl_->settings.address;
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + impl_->settings.token;
}

}  // namespace vtstudio
