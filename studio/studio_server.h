// The studio's web server: the page, and the requests it makes of the
// settings dialog and the sounds.
//
// Safety: it listens on a loopback address (127.0.0.0/8, ::1) unless told
// otherwise; every request must carry the run's random token (in the
// X-Vortigen-Token header, or the token parameter of the address the
// studio printed), checked with Host and Origin before any body is read; a
// request whose Origin or Host is not the studio's own is refused, so a
// web page elsewhere cannot drive it even when it guesses the port; sounds
// are named by number, never by path; uploads, JSON and every list and
// string in it are limited in size (http_server.h has the limits on time
// and connections); answers carry sentences, never addresses or other
// internals.
#ifndef VORTIGEN_STUDIO_STUDIO_SERVER_H
#define VORTIGEN_STUDIO_STUDIO_SERVER_H

#include <cstddef>
#include <memory>
#include <string>

#include "dialog_session.h"
#include "http_server.h"
#include "processing.h"
#include "request_json.h"
#include "sound_files.h"

namespace vtstudio {

struct ServerSettings {
  std::string address = "127.0.0.1";
  int port = 0;  // 0: any free port
  size_t uploadLimit = size_t{256} << 20;
  std::string token;  // empty: a fresh random one
  HttpLimits limits;
  JsonLimits json;
  HttpServer::Logger logger;  // empty: stderr
};

// True for an address of this machine only: 127.0.0.0/8, ::1, localhost.
bool isLoopbackAddress(const std::string& address);
// The address as a URL writes its host: IPv6 in brackets.
std::string urlHost(const std::string& address);

// 32 hexadecimal digits from the system's random source.
std::string randomToken();

class StudioServer {
 public:
  StudioServer(DialogSession& dialogs, SoundFiles& sounds, Processing& processing,
               ServerSettings settings);
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  // A sentence the page shows when it opens (a file that could not be
  // read); call before serve().
  void reportProblem(const std::string& sentence);
  // Binds the address; returns the port. Throws vthost::HostError naming
  // the address when it cannot (a host name other than localhost is not
  // looked up).
  int bind();
  // Serves until stop(); any thread may call stop().
  void serve();
  void stop();
  // The address to open, token included.
  std::string url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vtstudio

#endif
