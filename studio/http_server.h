// The studio's HTTP server: requests read on one thread without blocking,
// answered by a few worker threads, under limits that keep a slow or
// hostile client from holding it.
//
// - The head of a request must arrive within `headTime`, its body within
//   `bodyTime` plus the time the slowest accepted rate takes for its size;
//   a connection that misses its deadline is closed.
// - The head is checked (headCheck) before any of the body is read: a
//   request refused there never has its body read, and the check sets how
//   large a body the request may carry (413 beyond it).
// - One client address holds at most `connectionsPerClient` connections.
//   A new one beyond that closes the client's oldest connection that is
//   still waiting for the head of a request (idle or slow); when there is
//   none, the new one is closed. So a flood of slow connections cannot lock
//   out a request that arrives whole.
// - Every request, refusals included, is logged as one line: method, path
//   (without its query, which may hold the token), status, milliseconds.
#ifndef VORTIGEN_STUDIO_HTTP_SERVER_H
#define VORTIGEN_STUDIO_HTTP_SERVER_H

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vtstudio {

struct HttpLimits {
  std::chrono::milliseconds headTime{10000};
  std::chrono::milliseconds bodyTime{10000};
  size_t slowestBodyRate = size_t{1} << 20;   // bytes per second, added to bodyTime
  std::chrono::milliseconds idleTime{15000};  // between requests on one connection
  std::chrono::milliseconds writeTime{60000};
  size_t headBytes = size_t{16} << 10;
  int connectionsPerClient = 24;
  int connections = 256;
  int workers = 4;
};

struct HttpRequest {
  std::string method;
  std::string path;    // decoded, without the query
  std::string target;  // as sent
  std::map<std::string, std::string> query;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::vector<std::string> matches;  // the route's groups
  std::string client;                // the peer's address

  bool hasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
  std::string header(const std::string& lowerName) const;
  bool hasParam(const std::string& name) const { return query.count(name) != 0; }
  std::string param(const std::string& name) const;
};

struct HttpResponse {
  int status = 200;
  std::string type = "text/plain";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  void set(const std::string& body, const std::string& type, int status = 200);
  void header(std::string name, std::string value);
};

// Decodes %XX and '+' of a query component.
std::string decodeQueryComponent(const std::string& text);
// The path with the query left off: what the log may show.
std::string pathForLog(const std::string& target);

class Connection;

class HttpServer {
 public:
  using Handler = std::function<void(HttpRequest&, HttpResponse&)>;
  // Given the head of a request (no body yet): a response refuses it;
  // otherwise *bodyLimit (preset to 0) says how many body bytes it may send.
  using HeadCheck =
      std::function<std::optional<HttpResponse>(const HttpRequest&, size_t* bodyLimit)>;
  // Turns what a handler threw into the response.
  using FailureHandler = std::function<void(std::exception_ptr, const HttpRequest&, HttpResponse&)>;
  using Logger = std::function<void(const std::string& line)>;
  // The response that carries a refusal of the server's own (404, 408,
  // 413, 431, 503...) as a sentence; default: plain text.
  using RefusalFormat = std::function<HttpResponse(int status, const std::string& sentence)>;

  explicit HttpServer(HttpLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  void setHeadCheck(HeadCheck check);
  void setFailureHandler(FailureHandler handler);
  void setLogger(Logger logger);  // default: stderr
  void setRefusalFormat(RefusalFormat format);
  void setDefaultHeaders(std::vector<std::pair<std::string, std::string>> headers);
  // `pattern` is an ECMAScript expression the whole decoded path must match.
  void route(const std::string& method, const std::string& pattern, Handler handler);

  // Binds and listens; returns the port. Throws std::runtime_error with a
  // sentence when it cannot.
  int bind(const std::string& address, int port);
  // Serves until stop(); any thread may call stop().
  void serve();
  void stop();

 private:
  friend class Connection;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vtstudio

#endif
