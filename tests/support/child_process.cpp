// The one runner of child processes: fork, set up, exec; both output pipes read to their ends.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/test_support.h"

namespace {

// Polling keeps a child that fills one pipe from blocking on it.
void drain(int out_fd, int err_fd, std::string *out, std::string *err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string *dest[2] = {out, err};
  int open_fds = 2;
  char buf[4096];
  while (open_fds > 0) {
    if (poll(fds, 2, -1) < 0) break;
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
}

}  // namespace

CHILD_RESULT run_child(const CHILD_SPEC &spec) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return CHILD_RESULT{-1, "", "pipe failed"};
  const pid_t pid = fork();
  if (pid == 0) {
    if (!spec.workdir.empty() && chdir(spec.workdir.c_str()) != 0) _exit(127);
    const int in = open(spec.stdin_path.c_str(), O_RDONLY);
    if (in < 0) _exit(127);
    dup2(in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (spec.fsize_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{static_cast<rlim_t>(spec.fsize_limit), static_cast<rlim_t>(spec.fsize_limit)};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(127);
    }
    for (const auto &e : spec.env) putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> argv;
    for (const auto &a : spec.argv) argv.push_back(const_cast<char *>(a.c_str()));
    if (!spec.name.empty()) argv[0] = const_cast<char *>(spec.name.c_str());
    argv.push_back(nullptr);
    execv(spec.argv[0].c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  CHILD_RESULT r{-1, "", ""};
  drain(out_pipe[0], err_pipe[0], &r.out, &r.err);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return r;
}
