// Runs build/vortigen as a user would: a child process with arguments and
// environment, its standard output and error captured, its exit status
// returned; or under a pseudo-terminal, where the user can press Ctrl-C.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tool {

struct Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline int exitStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

// The environment of this process with some variables set or replaced.
class Environment {
 public:
  explicit Environment(const std::map<std::string, std::string>& changes) {
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (changes.count(name) == 0) entries_.push_back(entry);
    }
    for (const auto& [name, value] : changes) entries_.push_back(name + "=" + value);
    for (std::string& e : entries_) pointers_.push_back(e.data());
    pointers_.push_back(nullptr);
  }
  char** get() { return pointers_.data(); }

 private:
  std::vector<std::string> entries_;
  std::vector<char*> pointers_;
};

inline std::vector<char*> argvOf(const std::string& program, std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// Runs the program to its end; output goes through files in `scratch`,
// standard input comes from the file `input`.
inline Result run(const std::string& program, std::vector<std::string> args,
                  const std::map<std::string, std::string>& environment,
                  const std::filesystem::path& scratch, const std::string& input = "/dev/null") {
  const std::string outPath = (scratch / "stdout.txt").string();
  const std::string errPath = (scratch / "stderr.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  Environment env(environment);
  std::vector<char*> argv = argvOf(program, args);
  pid_t pid = 0;
  Result result;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.get()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = exitStatus(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = fileText(outPath);
  result.err = fileText(errPath);
  return result;
}

// Starts the program with output into files in `scratch` and returns at
// once; `prepare` runs in the child just before the program (limits, the
// umask, signal dispositions). finish() waits for it.
struct Started {
  pid_t pid = -1;
  std::filesystem::path scratch;
};

inline Started start(const std::string& program, std::vector<std::string> args,
                     const std::map<std::string, std::string>& environment,
                     const std::filesystem::path& scratch, void (*prepare)() = nullptr) {
  const std::string outPath = (scratch / "stdout.txt").string();
  const std::string errPath = (scratch / "stderr.txt").string();
  Environment env(environment);
  std::vector<char*> argv = argvOf(program, args);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (prepare != nullptr) prepare();
    execve(program.c_str(), argv.data(), env.get());
    _exit(127);
  }
  return Started{pid, scratch};
}

inline Result finish(const Started& started) {
  Result result;
  int status = 0;
  if (started.pid > 0 && waitpid(started.pid, &status, 0) == started.pid)
    result.status = exitStatus(status);
  result.out = fileText(started.scratch / "stdout.txt");
  result.err = fileText(started.scratch / "stderr.txt");
  return result;
}

// Runs the program on a pseudo-terminal; once its output holds `cue` for
// the `times`th time, Ctrl-C is typed. Returns everything the terminal
// showed. Gives up (killing the child) after `limit`.
inline Result runOnTerminalAndInterrupt(const std::string& program, std::vector<std::string> args,
                                        const std::map<std::string, std::string>& environment,
                                        const std::string& cue, int times,
                                        std::chrono::seconds limit) {
  Environment env(environment);
  std::vector<char*> argv = argvOf(program, args);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execve(program.c_str(), argv.data(), env.get());
    _exit(127);
  }
  Result result;
  if (pid < 0) return result;
  bool typed = false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;  // the child has gone and closed the terminal
    result.err.append(buffer, static_cast<size_t>(n));
    size_t seen = 0;
    for (size_t at = result.err.find(cue); at != std::string::npos;
         at = result.err.find(cue, at + 1))
      ++seen;
    if (!typed && seen >= static_cast<size_t>(times)) {
      const char interrupt = '\x03';  // the terminal turns it into SIGINT
      if (write(terminal, &interrupt, 1) == 1) typed = true;
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  result.status = exitStatus(status);
  return result;
}

}  // namespace tool

namespace tool {

// Runs the program to its end on a pseudo-terminal `columns` wide and
// returns everything the terminal showed (as err). Gives up (killing the
// child) after `limit`.
inline Result runOnTerminal(const std::string& program, std::vector<std::string> args,
                            const std::map<std::string, std::string>& environment,
                            unsigned short columns, std::chrono::seconds limit) {
  Environment env(environment);
  std::vector<char*> argv = argvOf(program, args);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = columns;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
  if (pid == 0) {
    execve(program.c_str(), argv.data(), env.get());
    _exit(127);
  }
  Result result;
  if (pid < 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;
    result.err.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  result.status = exitStatus(status);
  return result;
}

// Every state a terminal's line was seen in after receiving `output`: the
// line as it stood at each carriage return and line feed, as far as
// progress bars need (erase to the end of the line is followed, other
// escape sequences are dropped). A line too long for the terminal would
// wrap; it is kept whole, to be seen.
inline std::vector<std::string> screenLines(const std::string& output) {
  std::vector<std::string> seen;
  std::string line;
  size_t column = 0;
  for (size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\r' || c == '\n') {
      if (!line.empty()) seen.push_back(line);
      if (c == '\n') line.clear();
      column = 0;
    } else if (c == '\033') {
      size_t end = i + 1;
      if (end < output.size() && output[end] == '[') {
        ++end;
        while (end < output.size() && !std::isalpha(static_cast<unsigned char>(output[end]))) ++end;
        if (end < output.size() && output[end] == 'K') line.resize(std::min(line.size(), column));
      }
      i = end;
    } else {
      if (column < line.size()) {
        line[column] = c;
      } else {
        line.push_back(c);
      }
      ++column;
    }
  }
  if (!line.empty()) seen.push_back(line);
  return seen;
}

}  // namespace tool
