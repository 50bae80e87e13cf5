// The studio's server attacked over loopback with raw requests, no browser:
// refusals of token, Host and Origin (before any body is read), the limits
// on JSON and bodies, slow clients that must not hold it, the log, what
// answers may show, the loopback addresses, and the temporary files of a
// studio that dies on a fault.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "studio_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::map<std::string, std::string> plugins{{"dynamic", VORTIGEN_DYNAMIC_PLUGIN},
                                                 {"fourier", VORTIGEN_FOURIER_PLUGIN}};
const std::string token = "0123456789abcdef0123456789abcdef";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A connection to the server that sends bytes as told and reads what
// comes back until the server closes or `seconds` pass.
class RawClient {
 public:
  RawClient(const std::string& address, int port) {
    const bool v6 = address.find(':') != std::string::npos;
    socket_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    sockaddr_storage where{};
    socklen_t size = 0;
    if (v6) {
      auto* a = reinterpret_cast<sockaddr_in6*>(&where);
      a->sin6_family = AF_INET6;
      a->sin6_port = htons(static_cast<uint16_t>(port));
      inet_pton(AF_INET6, address.c_str(), &a->sin6_addr);
      size = sizeof *a;
    } else {
      auto* a = reinterpret_cast<sockaddr_in*>(&where);
      a->sin_family = AF_INET;
      a->sin_port = htons(static_cast<uint16_t>(port));
      inet_pton(AF_INET, address.c_str(), &a->sin_addr);
      size = sizeof *a;
    }
    connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&where), size) == 0;
  }
  ~RawClient() { ::close(socket_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  void send(const std::string& bytes) {
    (void)::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  std::string receive(double seconds = 5.0) {
    timeval wait{static_cast<time_t>(seconds), static_cast<suseconds_t>(seconds * 1e6) % 1000000};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string answer;
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      answer.append(buffer, static_cast<size_t>(got));
    }
    return answer;
  }

 private:
  int socket_ = -1;
  bool connected_ = false;
};

int statusOf(const std::string& answer) {
  return answer.size() > 12 && answer.compare(0, 9, "HTTP/1.1 ") == 0
             ? std::stoi(answer.substr(9, 3))
             : 0;
}

std::string bodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

// A studio serving on a loopback address on a thread of the test, with
// short time limits, its log kept for the test to read.
class Studio {
 public:
  explicit Studio(const std::string& address = "127.0.0.1",
                  vtstudio::HttpLimits limits = shortLimits())
      : address_(address),
        dialogs_(plugins, testing::TempDir() + "vortigen-studio-server-test.ini"),
        processing_(plugins) {
    vtstudio::ServerSettings settings;
    settings.address = address;
    settings.token = token;
    settings.uploadLimit = size_t{1} << 20;
    settings.limits = limits;
    settings.logger = [this](const std::string& line) {
      std::lock_guard lock(logMutex_);
      log_.push_back(line);
    };
    server_ = std::make_unique<vtstudio::StudioServer>(dialogs_, sounds_, processing_, settings);
    port_ = server_->bind();
    thread_ = std::thread([this] { server_->serve(); });
  }
  ~Studio() {
    server_->stop();
    thread_.join();
  }

  static vtstudio::HttpLimits shortLimits() {
    vtstudio::HttpLimits limits;
    limits.headTime = std::chrono::milliseconds(1500);
    limits.bodyTime = std::chrono::milliseconds(1500);
    return limits;
  }

  int port() const { return port_; }
  vtstudio::SoundFiles& sounds() { return sounds_; }
  std::string url() const { return server_->url(); }
  std::string host() const { return vtstudio::urlHost(address_) + ":" + std::to_string(port_); }
  std::vector<std::string> log() const {
    std::lock_guard lock(logMutex_);
    return log_;
  }

  // One request on a connection of its own; the whole answer.
  std::string ask(const std::string& head, const std::string& body = "",
                  double seconds = 5.0) const {
    RawClient client(address_, port_);
    client.send(head + "Connection: close\r\n\r\n" + body);
    return client.receive(seconds);
  }
  std::string get(const std::string& path) const {
    return ask("GET " + path + " HTTP/1.1\r\nHost: " + host() + "\r\nX-Vortigen-Token: " + token +
               "\r\n");
  }
  std::string post(const std::string& path, const std::string& body) const {
    return ask("POST " + path + " HTTP/1.1\r\nHost: " + host() + "\r\nX-Vortigen-Token: " + token +
                   "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
               body);
  }

 private:
  std::string address_;
  vtstudio::DialogSession dialogs_;
  vtstudio::SoundFiles sounds_;
  vtstudio::Processing processing_;
  std::unique_ptr<vtstudio::StudioServer> server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
};

struct GuardCase {
  const char* fault;
  std::string headers;  // after the request line and Host
  bool foreignHost;
  int status;
};

// Each refusal must hold on its own: a token that is empty, wrong or
// missing, or a page of another origin, is refused even with everything
// else right; and the same request done right is served.
TEST(StudioServerGuard, RefusesEachWrongTokenOriginAndHost) {
  Studio studio;
  const std::string own = "http://" + studio.host();
  const std::vector<GuardCase> cases{
      {"no token", "", false, 403},
      {"an empty token", "X-Vortigen-Token: \r\n", false, 403},
      {"an empty token parameter", "", false, 403},
      {"a wrong token of the right length", "X-Vortigen-Token: " + std::string(32, 'f') + "\r\n",
       false, 403},
      {"a foreign origin", "X-Vortigen-Token: " + token + "\r\nOrigin: http://evil.example\r\n",
       false, 403},
      {"an origin on another port",
       "X-Vortigen-Token: " + token + "\r\nOrigin: http://127.0.0.1:1\r\n", false, 403},
      {"a foreign host", "X-Vortigen-Token: " + token + "\r\n", true, 403},
      {"all right, with the studio's own origin",
       "X-Vortigen-Token: " + token + "\r\nOrigin: " + own + "\r\n", false, 200},
  };
  for (const GuardCase& c : cases) {
    const std::string path =
        std::string(c.fault) == "an empty token parameter" ? "/api/state?token=" : "/api/state";
    const std::string host =
        c.foreignHost ? "evil.example:" + std::to_string(studio.port()) : studio.host();
    const std::string answer =
        studio.ask("GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + c.headers);
    EXPECT_EQ(statusOf(answer), c.status) << c.fault;
  }
  EXPECT_EQ(statusOf(studio.get("/api/state?token=" + token)), 200) << "the token as a parameter";
}

// The head is judged before the body is read: a request without the token
// that announces a large body is answered at once, its body never sent.
TEST(StudioServerGuard, ATokenlessRequestIsRefusedBeforeItsBodyIsRead) {
  Studio studio;
  RawClient client("127.0.0.1", studio.port());
  const auto start = Clock::now();
  client.send("POST /api/sounds HTTP/1.1\r\nHost: " + studio.host() +
              "\r\nContent-Length: 900000000\r\n\r\n");
  const std::string answer = client.receive(3.0);
  EXPECT_EQ(statusOf(answer), 403);
  EXPECT_LT(secondsSince(start), 1.0);
}

struct LimitCase {
  const char* fault;
  std::string body;
  int status;
  const char* names;  // what the refusal must say
};

// A body that passes a limit is refused with a sentence naming the limit,
// and the studio goes on serving. (The first case once overflowed the
// stack of a request thread and ended the studio.)
TEST(StudioServerLimits, JsonPastALimitIsRefusedNamingItAndTheStudioGoesOn) {
  Studio studio;
  std::string manyItems = "[";
  for (int i = 0; i < 5000; ++i) manyItems += "0,";
  manyItems += "0]";
  const std::vector<LimitCase> cases{
      {"nested 70000 deep", std::string(70000, '[') + std::string(70000, ']'), 413, "bytes"},
      {"nested 30 deep", std::string(30, '[') + std::string(30, ']'), 400, "nests deeper than 8"},
      {"a list of 5001 items", manyItems, 400, "more than 1000 items"},
      {"a long string", "{\"kind\":\"type\",\"text\":\"" + std::string(5000, 'a') + "\"}", 400,
       "longer than 4096"},
      {"a long key", "{\"" + std::string(5000, 'k') + "\":1}", 400, "longer than 4096"},
      {"no JSON", "{kind:", 400, "not JSON"},
  };
  for (const LimitCase& c : cases) {
    const std::string answer = studio.post("/api/dialog", c.body);
    EXPECT_EQ(statusOf(answer), c.status) << c.fault;
    EXPECT_NE(bodyOf(answer).find(c.names), std::string::npos) << c.fault << ": " << bodyOf(answer);
  }
  EXPECT_EQ(statusOf(studio.post("/api/dialog", "{\"kind\":\"view\"}")), 200);
}

// An upload past the limit is refused from its announced length, before
// its body is read, with a sentence the page can show.
TEST(StudioServerLimits, AnUploadPastTheLimitIsRefusedFromItsHead) {
  Studio studio;
  const std::string answer =
      studio.ask("POST /api/sounds HTTP/1.1\r\nHost: " + studio.host() +
                 "\r\nX-Vortigen-Token: " + token + "\r\nContent-Length: 300000000\r\n");
  EXPECT_EQ(statusOf(answer), 413);
  EXPECT_NE(bodyOf(answer).find("larger than the studio accepts (1 MB)"), std::string::npos)
      << answer;
}

TEST(StudioServerLimits, AParameterLongerThanANameMayBeIsRefused) {
  Studio studio;
  const std::string answer = studio.post("/api/sounds?name=" + std::string(5000, 'n'), "RIFF");
  EXPECT_EQ(statusOf(answer), 400);
  EXPECT_NE(bodyOf(answer).find("longer than 4096"), std::string::npos) << bodyOf(answer);
}

// An export asked for by a page that shows older curves than the studio
// holds (another tab changed them) is refused, not made from curves the
// page does not show.
TEST(StudioServerAnswers, AnExportOfCurvesAPageDoesNotShowIsRefused) {
  Studio studio;
  const std::string answer = studio.get("/api/sounds/1/export?effect=dynamic&version=0");
  EXPECT_EQ(statusOf(answer), 409);
  EXPECT_NE(bodyOf(answer).find("another tab"), std::string::npos) << answer;
}

// 50 connections that trickle their heads in, as a slow or hostile client
// does, hold nothing: a whole request is answered within a second.
TEST(StudioServerSlowClients, FiftySlowHeadsDoNotHoldAWholeRequest) {
  Studio studio;
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < 50; ++i) {
    slow.push_back(std::make_unique<RawClient>("127.0.0.1", studio.port()));
    slow.back()->send("GET /api/state HTTP/1.1\r\nHo");
  }
  const auto start = Clock::now();
  EXPECT_EQ(statusOf(studio.get("/api/state")), 200);
  EXPECT_LT(secondsSince(start), 1.0);
}

// A slow upload with the token holds its own connection only.
TEST(StudioServerSlowClients, ASlowBodyDoesNotHoldOtherRequests) {
  Studio studio;
  std::vector<std::unique_ptr<RawClient>> uploads;
  for (int i = 0; i < 12; ++i) {
    uploads.push_back(std::make_unique<RawClient>("127.0.0.1", studio.port()));
    uploads.back()->send("POST /api/sounds HTTP/1.1\r\nHost: " + studio.host() +
                         "\r\nX-Vortigen-Token: " + token + "\r\nContent-Length: 1000\r\n\r\nRI");
  }
  const auto start = Clock::now();
  EXPECT_EQ(statusOf(studio.get("/api/state")), 200);
  EXPECT_LT(secondsSince(start), 1.0);
}

// A head or a body that does not arrive within its time closes the
// connection, which the log notes.
TEST(StudioServerSlowClients, AHeadOrBodyPastItsTimeIsCut) {
  Studio studio;
  RawClient head("127.0.0.1", studio.port());
  head.send("GET /api/state HTTP/1.1\r\nHo");
  RawClient body("127.0.0.1", studio.port());
  body.send("POST /api/dialog HTTP/1.1\r\nHost: " + studio.host() +
            "\r\nX-Vortigen-Token: " + token + "\r\nContent-Length: 100\r\n\r\n{");
  const auto start = Clock::now();
  head.receive(6.0);
  EXPECT_LT(secondsSince(start), 3.0) << "the head's connection was not cut";
  const std::string bodyAnswer = body.receive(6.0);
  EXPECT_LT(secondsSince(start), 3.5) << "the body's connection was not cut";
  EXPECT_EQ(bodyAnswer, "");
  // The stream closes a connection the moment its time is up; the line
  // follows.
  std::string cut;
  for (const auto waited = Clock::now(); secondsSince(waited) < 2.0;) {
    cut.clear();
    for (const std::string& line : studio.log())
      if (line.find(" 408 ") != std::string::npos) cut += line + "\n";
    if (std::count(cut.begin(), cut.end(), '\n') == 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(cut.find("- - 408"), std::string::npos) << cut;
  EXPECT_NE(cut.find("POST /api/dialog 408"), std::string::npos) << cut;
}

// One line per request, refusals included; the token in an address never
// reaches the log.
TEST(StudioServerLog, OneLinePerRequestWithMethodPathStatusAndTimeNeverTheToken) {
  Studio studio;
  studio.get("/api/state?token=" + token);
  studio.ask("GET /api/state HTTP/1.1\r\nHost: " + studio.host() + "\r\n");
  studio.get("/nowhere");
  const auto log = studio.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(std::regex_match(log[0], std::regex("studio: GET /api/state 200 OK [0-9]+ ms")))
      << log[0];
  EXPECT_TRUE(
      std::regex_match(log[1], std::regex("studio: GET /api/state 403 Forbidden [0-9]+ ms")))
      << log[1];
  EXPECT_TRUE(std::regex_match(log[2], std::regex("studio: GET /nowhere 404 Not Found [0-9]+ ms")))
      << log[2];
  for (const std::string& line : log) EXPECT_EQ(line.find(token), std::string::npos) << line;
}

// The dialog's description shows what a person sees: no hidden control's
// text (the plug-in keeps its curves' addresses in one).
// A page's newer preview stops its older one, which answers 409 instead of
// holding the processing the newer one waits for; a preview of another page
// is left alone. The sound is 30 s at 192 kHz, so that each whole preview
// takes long enough for the newer request to come while the older runs.
TEST(StudioServerPreview, ANewerPreviewOfTheSamePageStopsTheOlder) {
  Studio studio;
  vtmedia::Audio audio;
  audio.channels = 2;
  audio.sampleRate = 192000;
  audio.bytes.resize(size_t{30} * 192000 * 4);
  for (size_t i = 0; i < audio.bytes.size(); ++i)
    audio.bytes[i] = static_cast<uint8_t>(i * 7919 >> 3);
  const std::string file = testing::TempDir() + "vortigen-studio-preview-30s.wav";
  vtmedia::writeAudio(file, audio);
  const int id = studio.sounds().open(file)->id;
  fs::remove(file);
  const std::string preview =
      "/api/sounds/" + std::to_string(id) + "/preview?effect=dynamic&from=0&to=5760000&listener=";
  const auto request = [&](const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + studio.host() +
           "\r\nX-Vortigen-Token: " + token + "\r\nConnection: close\r\n\r\n";
  };
  RawClient older("127.0.0.1", studio.port()), otherPage("127.0.0.1", studio.port());
  older.send(request(preview + "page-one"));
  otherPage.send(request(preview + "page-two"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // Generous waits: the other page's whole preview may hold the processing
  // for seconds in a sanitizer build.
  const std::string newer = studio.ask("GET " + preview + "page-one&at=1920000&until=2016000" +
                                           " HTTP/1.1\r\nHost: " + studio.host() +
                                           "\r\nX-Vortigen-Token: " + token + "\r\n",
                                       "", 30.0);
  EXPECT_EQ(statusOf(newer), 200);
  EXPECT_EQ(bodyOf(newer).size(), size_t{96000} * 4) << "the part is not the frames asked for";
  const std::string stopped = older.receive(30.0);
  EXPECT_EQ(statusOf(stopped), 409);
  EXPECT_NE(bodyOf(stopped).find("newer preview"), std::string::npos) << bodyOf(stopped);
  const std::string other = otherPage.receive(30.0);
  EXPECT_EQ(statusOf(other), 200) << "another page's preview was stopped";
  EXPECT_EQ(bodyOf(other).size(), size_t{5760000} * 4);
}

TEST(StudioServerAnswers, TheStateShowsNoAddresses) {
  Studio studio;
  const std::string body = bodyOf(studio.get("/api/state"));
  EXPECT_FALSE(std::regex_search(body, std::regex("\"text\":\"[0-9,]{10,}"))) << body;
}

TEST(StudioServerAddresses, LoopbackIsAllOf127And1) {
  for (const char* address : {"127.0.0.1", "127.0.0.2", "127.255.0.9", "::1", "localhost"})
    EXPECT_TRUE(vtstudio::isLoopbackAddress(address)) << address;
  for (const char* address : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "example.org", ""})
    EXPECT_FALSE(vtstudio::isLoopbackAddress(address)) << address;
  EXPECT_EQ(vtstudio::urlHost("::1"), "[::1]");
  EXPECT_EQ(vtstudio::urlHost("127.0.0.2"), "127.0.0.2");
}

bool canListenOn(const std::string& address) {
  vtstudio::HttpServer probe;
  try {
    probe.bind(address, 0);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// On ::1 and on 127.0.0.2 the printed address opens and the Host and Origin
// checks stay on.
TEST(StudioServerAddresses, OtherLoopbackAddressesKeepTheChecks) {
  for (const char* address : {"::1", "127.0.0.2"}) {
    if (!canListenOn(address)) {
      std::printf("%s cannot be listened on here (no IPv6?); not tried\n", address);
      continue;
    }
    Studio studio(address);
    EXPECT_EQ(studio.url().rfind("http://" + studio.host() + "/?token=", 0), 0u) << studio.url();
    EXPECT_EQ(statusOf(studio.get("/api/state")), 200) << address;
    EXPECT_EQ(statusOf(studio.ask(
                  "GET /api/state HTTP/1.1\r\nHost: evil.example:" + std::to_string(studio.port()) +
                  "\r\nX-Vortigen-Token: " + token + "\r\n")),
              403)
        << address;
    EXPECT_EQ(statusOf(studio.ask("GET /api/state HTTP/1.1\r\nHost: " + studio.host() +
                                  "\r\nOrigin: http://evil.example\r\nX-Vortigen-Token: " + token +
                                  "\r\n")),
              403)
        << address;
  }
}

// The studio's process dies on a fault in the middle of its work: its
// temporary directory goes with it, and the exit status says it failed.
TEST(StudioProcess, AStudioThatDiesOnAFaultLeavesNoTemporaryFiles) {
  const fs::path tmp = fs::path(testing::TempDir()) / "vortigen-studio-crash";
  fs::remove_all(tmp);
  fs::create_directories(tmp);
  const std::string out = (tmp.parent_path() / "vortigen-studio-crash.out").string();
  const std::string tmpEnv = "TMPDIR=" + tmp.string();
  std::vector<char*> env{const_cast<char*>(tmpEnv.c_str())};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.push_back(*e);
  env.push_back(nullptr);
  const std::string profile = (tmp.parent_path() / "vortigen-studio-crash.ini").string();
  const char* argv[] = {VORTIGEN_TOOL,       "studio", "--profile", profile.c_str(), "--plugin-dir",
                        VORTIGEN_PLUGIN_DIR, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t tool = 0;
  ASSERT_EQ(posix_spawn(&tool, VORTIGEN_TOOL, &actions, nullptr, const_cast<char* const*>(argv),
                        env.data()),
            0);
  posix_spawn_file_actions_destroy(&actions);

  // The studio is up once it prints its address; it is the tool's child.
  const auto start = Clock::now();
  std::string printed;
  while (printed.find("token=") == std::string::npos && secondsSince(start) < 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(out);
    printed.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_NE(printed.find("token="), std::string::npos) << printed;
  EXPECT_FALSE(fs::is_empty(tmp)) << "the studio keeps its temporary files in TMPDIR";
  std::ifstream children("/proc/" + std::to_string(tool) + "/task/" + std::to_string(tool) +
                         "/children");
  pid_t studio = 0;
  ASSERT_TRUE(children >> studio);
  kill(studio, SIGSEGV);
  int status = 0;
  waitpid(tool, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_TRUE(fs::is_empty(tmp)) << "a temporary file outlived the studio";
}

}  // namespace
