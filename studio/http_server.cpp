// The studio's HTTP server: see http_server.h. Sockets are read and written
// only on the thread that runs serve(); handlers run on the workers and
// hand their response back to that thread.
#include "http_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <cstdio>
#include <limits>
#include <list>
#include <regex>
#include <stdexcept>

namespace vtstudio {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

std::string HttpRequest::header(const std::string& lowerName) const {
  const auto found = headers.find(lowerName);
  return found != headers.end() ? found->second : std::string();
}

std::string HttpRequest::param(const std::string& name) const {
  const auto found = query.find(name);
  return found != query.end() ? found->second : std::string();
}

void HttpResponse::set(const std::string& text, const std::string& contentType, int code) {
  body = text;
  type = contentType;
  status = code;
}

void HttpResponse::header(std::string name, std::string value) {
  headers.emplace_back(std::move(name), std::move(value));
}

std::string decodeQueryComponent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string pathForLog(const std::string& target) {
  std::string path = target.substr(0, target.find('?'));
  // A log line is one line whatever the request held.
  for (char& c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return path;
}

namespace {

struct Route {
  std::string method;
  std::regex pattern;
  HttpServer::Handler handler;
};

const char* reasonOf(int status) {
  return http::obsolete_reason(static_cast<http::status>(status)).data();
}

}  // namespace

class Connection;

struct HttpServer::Impl {
  HttpLimits limits;
  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::thread_pool workers;
  std::vector<Route> routes;
  HeadCheck headCheck;
  FailureHandler failure;
  Logger logger = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  std::vector<std::pair<std::string, std::string>> defaultHeaders;
  RefusalFormat refusalFormat = [](int status, const std::string& sentence) {
    HttpResponse response;
    response.set(sentence, "text/plain", status);
    return response;
  };
  // The open connections of each client address, oldest first. Touched
  // only on the serving thread.
  std::map<std::string, std::list<std::weak_ptr<Connection>>> byClient;

  explicit Impl(HttpLimits l)
      : limits(l), workers(static_cast<size_t>(std::max(1, limits.workers))) {}

  void accept();
  bool admit(const std::shared_ptr<Connection>& connection, const std::string& client);
  void closeAll();
  const Route* find(HttpRequest& request, bool* pathKnown) const;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  enum class Phase { waitingForHead, readingBody, working, writing, closed };

  Connection(HttpServer::Impl& server, tcp::socket socket, std::string client)
      : server_(server), stream_(std::move(socket)), client_(std::move(client)) {}

  Phase phase() const { return phase_; }
  void start() { readHead(server_.limits.headTime); }

  void close() {
    phase_ = Phase::closed;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

 private:
  void readHead(std::chrono::milliseconds allowed) {
    phase_ = Phase::waitingForHead;
    head_.emplace();
    head_->header_limit(static_cast<uint32_t>(server_.limits.headBytes));
    // Judged once the head is checked (no limit here: this version of the
    // parser takes "none" for a limit of nothing).
    head_->body_limit(std::numeric_limits<std::uint64_t>::max());
    stream_.expires_after(allowed);
    http::async_read_header(
        stream_, buffer_, *head_,
        [self = shared_from_this()](beast::error_code error, size_t) { self->onHead(error); });
  }

  void onHead(beast::error_code error) {
    if (phase_ == Phase::closed) return;
    started_ = Clock::now();
    if (error == http::error::header_limit) {
      refuse(431, "The head of the request is longer than the studio accepts.");
      return;
    }
    if (error == beast::error::timeout && (head_->got_some() || buffer_.size() > 0)) {
      log("-", "-", 408, " (the head of the request did not arrive in time)");
      close();
      return;
    }
    if (error == http::error::end_of_stream || error == http::error::partial_message ||
        error == beast::error::timeout || error == asio::error::operation_aborted ||
        error == asio::error::eof || error == asio::error::connection_reset) {
      close();
      return;
    }
    if (error) {
      refuse(400, "The request is not understood HTTP.");
      return;
    }
    const auto& head = head_->get();
    request_ = HttpRequest{};
    request_.method = std::string(head.method_string());
    request_.target = std::string(head.target());
    request_.client = client_;
    const size_t mark = request_.target.find('?');
    request_.path = decodeQueryComponent(request_.target.substr(0, mark));
    if (mark != std::string::npos) {
      const std::string query = request_.target.substr(mark + 1);
      for (size_t at = 0; at <= query.size();) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(at, end - at);
        const size_t equals = pair.find('=');
        if (!pair.empty()) {
          request_.query[decodeQueryComponent(pair.substr(0, equals))] =
              equals == std::string::npos ? "" : decodeQueryComponent(pair.substr(equals + 1));
        }
        at = end + 1;
      }
    }
    for (const auto& field : head) {
      std::string name(field.name_string());
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      request_.headers[name] = std::string(field.value());
    }
    keepAlive_ = head.keep_alive();

    size_t bodyLimit = 0;
    if (server_.headCheck) {
      if (std::optional<HttpResponse> refusal = server_.headCheck(request_, &bodyLimit)) {
        respond(std::move(*refusal), false);
        return;
      }
    }
    bool pathKnown = false;
    route_ = server_.find(request_, &pathKnown);
    if (route_ == nullptr) {
      refuse(pathKnown ? 405 : 404, pathKnown ? "That method is not taken here." : "Nothing here.");
      return;
    }
    const boost::optional<uint64_t> length = head_->content_length();
    if (length && *length > bodyLimit) {
      refuse(413, "The request body is larger than " + std::to_string(bodyLimit) +
                      " bytes, the most this request may carry.");
      return;
    }
    body_.emplace(std::move(*head_));
    head_.reset();
    body_->body_limit(bodyLimit);
    if (body_->is_done()) {
      onBody({});
      return;
    }
    phase_ = Phase::readingBody;
    const size_t expected = length ? static_cast<size_t>(*length) : bodyLimit;
    const auto allowed = server_.limits.bodyTime +
                         std::chrono::milliseconds(
                             expected / std::max<size_t>(1, server_.limits.slowestBodyRate / 1000));
    auto readBody = [self = shared_from_this(), allowed] {
      self->stream_.expires_after(allowed);
      http::async_read(self->stream_, self->buffer_, *self->body_,
                       [self](beast::error_code e, size_t) { self->onBody(e); });
    };
    if (beast::iequals(request_.header("expect"), "100-continue")) {
      stream_.expires_after(server_.limits.writeTime);
      asio::async_write(stream_, asio::buffer(continueLine),
                        [self = shared_from_this(), readBody](beast::error_code e, size_t) {
                          if (e) return self->close();
                          readBody();
                        });
    } else {
      readBody();
    }
  }

  void onBody(beast::error_code error) {
    if (phase_ == Phase::closed) return;
    if (error == http::error::body_limit) {
      refuse(413, "The request body is larger than " + std::to_string(body_->get().body().size()) +
                      " bytes, the most this request may carry.");
      return;
    }
    if (error == beast::error::timeout) {
      log(request_.method, pathForLog(request_.target), 408,
          " (the body of the request did not arrive in time)");
      close();
      return;
    }
    if (error) {
      close();
      return;
    }
    request_.body = std::move(body_->get().body());
    body_.reset();
    phase_ = Phase::working;
    stream_.expires_never();
    asio::post(server_.workers, [self = shared_from_this()] {
      HttpResponse response;
      try {
        self->route_->handler(self->request_, response);
      } catch (...) {
        response = HttpResponse{};
        try {
          if (!self->server_.failure) throw;
          self->server_.failure(std::current_exception(), self->request_, response);
        } catch (...) {
          response = self->server_.refusalFormat(
              500, "The studio met a fault with this request; it goes on.");
        }
      }
      asio::post(self->stream_.get_executor(), [self, response = std::move(response)]() mutable {
        if (self->phase_ != Phase::closed) self->respond(std::move(response), self->keepAlive_);
      });
    });
  }

  void refuse(int status, const std::string& sentence) {
    respond(server_.refusalFormat(status, sentence), false);
  }

  void respond(HttpResponse response, bool keepAlive) {
    phase_ = Phase::writing;
    log(request_.method.empty() ? "-" : request_.method,
        request_.target.empty() ? "-" : pathForLog(request_.target), response.status, "");
    reply_.emplace(static_cast<http::status>(response.status), 11);
    for (const auto& [name, value] : server_.defaultHeaders) reply_->set(name, value);
    for (const auto& [name, value] : response.headers) reply_->set(name, value);
    reply_->set(http::field::content_type, response.type);
    reply_->body() = std::move(response.body);
    reply_->keep_alive(keepAlive);
    reply_->prepare_payload();
    stream_.expires_after(server_.limits.writeTime);
    http::async_write(stream_, *reply_,
                      [self = shared_from_this(), keepAlive](beast::error_code error, size_t) {
                        self->reply_.reset();
                        if (error || !keepAlive || self->phase_ == Phase::closed)
                          return self->close();
                        self->readHead(self->server_.limits.idleTime);
                      });
  }

  void log(const std::string& method, const std::string& path, int status, const char* why) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count();
    server_.logger("studio: " + method + " " + path + " " + std::to_string(status) + " " +
                   reasonOf(status) + " " + std::to_string(ms) + " ms" + why);
  }

  static constexpr std::string_view continueLine = "HTTP/1.1 100 Continue\r\n\r\n";

  HttpServer::Impl& server_;
  beast::tcp_stream stream_;
  std::string client_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> head_;
  std::optional<http::request_parser<http::string_body>> body_;
  std::optional<http::response<http::string_body>> reply_;
  HttpRequest request_;
  const Route* route_ = nullptr;
  bool keepAlive_ = false;
  Phase phase_ = Phase::waitingForHead;
  Clock::time_point started_ = Clock::now();
};

void HttpServer::Impl::accept() {
  acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
    if (!error) {
      beast::error_code ignored;
      const std::string client = socket.remote_endpoint(ignored).address().to_string();
      auto connection = std::make_shared<Connection>(*this, std::move(socket), client);
      if (admit(connection, client))
        connection->start();
      else
        connection->close();
    }
    accept();
  });
}

// Makes room for a new connection of `client`, closing the oldest of its
// connections that waits for a request head when it has too many; false
// when there is no room.
bool HttpServer::Impl::admit(const std::shared_ptr<Connection>& connection,
                             const std::string& client) {
  size_t open = 0;
  for (auto entry = byClient.begin(); entry != byClient.end();) {
    auto& list = entry->second;
    list.remove_if([](const std::weak_ptr<Connection>& c) {
      const auto live = c.lock();
      return !live || live->phase() == Connection::Phase::closed;
    });
    open += list.size();
    entry = list.empty() ? byClient.erase(entry) : std::next(entry);
  }
  auto& mine = byClient[client];
  auto makeRoom = [&] {
    for (auto c = mine.begin(); c != mine.end(); ++c) {
      if (auto live = c->lock(); live->phase() == Connection::Phase::waitingForHead) {
        live->close();
        mine.erase(c);
        return true;
      }
    }
    return false;
  };
  if (mine.size() >= static_cast<size_t>(limits.connectionsPerClient) && !makeRoom()) return false;
  if (open >= static_cast<size_t>(limits.connections) && !makeRoom()) return false;
  mine.push_back(connection);
  return true;
}

void HttpServer::Impl::closeAll() {
  beast::error_code ignored;
  acceptor.close(ignored);
  for (auto& [client, list] : byClient)
    for (auto& c : list)
      if (auto live = c.lock()) live->close();
  byClient.clear();
}

const Route* HttpServer::Impl::find(HttpRequest& request, bool* pathKnown) const {
  for (const Route& route : routes) {
    std::smatch match;
    if (!std::regex_match(request.path, match, route.pattern)) continue;
    *pathKnown = true;
    if (route.method != request.method) continue;
    request.matches.assign(match.begin() + 1, match.end());
    return &route;
  }
  return nullptr;
}

HttpServer::HttpServer(HttpLimits limits) : impl_(std::make_unique<Impl>(limits)) {}

HttpServer::~HttpServer() {
  stop();
  impl_->workers.join();
}

void HttpServer::setHeadCheck(HeadCheck check) { impl_->headCheck = std::move(check); }
void HttpServer::setFailureHandler(FailureHandler handler) { impl_->failure = std::move(handler); }
void HttpServer::setLogger(Logger logger) { impl_->logger = std::move(logger); }
void HttpServer::setRefusalFormat(RefusalFormat format) {
  impl_->refusalFormat = std::move(format);
}
void HttpServer::setDefaultHeaders(std::vector<std::pair<std::string, std::string>> headers) {
  impl_->defaultHeaders = std::move(headers);
}

void HttpServer::route(const std::string& method, const std::string& pattern, Handler handler) {
  impl_->routes.push_back(Route{method, std::regex(pattern), std::move(handler)});
}

int HttpServer::bind(const std::string& address, int port) {
  beast::error_code error;
  const asio::ip::address ip = asio::ip::make_address(address, error);
  if (error) throw std::runtime_error("\"" + address + "\" is not an IP address");
  const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
  tcp::acceptor& acceptor = impl_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    beast::error_code ignored;
    acceptor.close(ignored);
    throw std::runtime_error(error.message());
  }
  impl_->accept();
  return acceptor.local_endpoint().port();
}

void HttpServer::serve() { impl_->io.run(); }

void HttpServer::stop() {
  asio::post(impl_->io, [impl = impl_.get()] {
    impl->closeAll();
    impl->io.stop();
  });
}

}  // namespace vtstudio
