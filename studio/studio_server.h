// The studio's web server: the page, and the requests it makes of the
// settings dialog and the sounds.
//
// Safety: it listens on the loopback address unless told otherwise; every
// request must carry the run's random token (in the X-Vortigen-Token
// header, or the token parameter of the address the studio printed); a
// request whose Origin or Host is not the studio's own is refused, so a
// web page elsewhere cannot drive it even when it guesses the port; sounds
// are named by number, never by path; uploads are limited in size.
#ifndef VORTIGEN_STUDIO_STUDIO_SERVER_H
#define VORTIGEN_STUDIO_STUDIO_SERVER_H

#include <cstddef>
#include <memory>
#include <string>

#include "dialog_session.h"
#include "processing.h"
#include "sound_files.h"

namespace vtstudio {

struct ServerSettings {
  std::string address = "127.0.0.1";
  int port = 0;  // 0: any free port
  size_t uploadLimit = size_t{256} << 20;
  std::string token;  // empty: a fresh random one
};

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
  // the address when it cannot.
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
