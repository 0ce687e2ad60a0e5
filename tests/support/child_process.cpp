// The one runner of child processes: fork, set up, exec; both console pipes read to their ends
// (pipes, so that a cap on the size of the files the child writes leaves the console alone).
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/test_support.h"

namespace {

// Polling keeps a child that fills one pipe from blocking on it.
void drain(int fd[2], std::string *dest[2]) {
  pollfd fds[2] = {{fd[0], POLLIN, 0}, {fd[1], POLLIN, 0}};
  char buf[4096];
  for (int open_fds = 2; open_fds > 0 && poll(fds, 2, -1) >= 0;)
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        dest[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open_fds--;
      }
    }
}

}  // namespace

CHILD_RESULT run_child(const CHILD_COMMAND &cmd) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return CHILD_RESULT{-1, "", "pipe failed"};
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(cmd.stdin_path.c_str(), O_RDONLY);
    const int o = cmd.stdout_path.empty() ? out[1] : open(cmd.stdout_path.c_str(), O_WRONLY);
    if (in < 0 || o < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(err[1], 2) < 0) _exit(127);
    close(out[0]);
    close(err[0]);
    if (!cmd.workdir.empty() && chdir(cmd.workdir.c_str()) != 0) _exit(127);
    if (cmd.fsize_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{static_cast<rlim_t>(cmd.fsize_limit), static_cast<rlim_t>(cmd.fsize_limit)};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(127);
    }
    for (const auto &v : cmd.env) putenv(const_cast<char *>(v.c_str()));
    std::vector<char *> argv;
    for (const auto &a : cmd.argv) argv.push_back(const_cast<char *>(a.c_str()));
    if (!cmd.name.empty()) argv[0] = const_cast<char *>(cmd.name.c_str());
    argv.push_back(nullptr);
    execv(cmd.argv[0].c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  CHILD_RESULT r{-1, "", ""};
  int fds[2] = {out[0], err[0]};
  std::string *dest[2] = {&r.out, &r.err};
  drain(fds, dest);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return r;
}
