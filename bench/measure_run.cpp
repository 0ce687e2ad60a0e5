// measure_run: runs a command with its standard output and error sent to files and prints
// one line "<wall s> <cpu s> <peak resident KiB> <exit status>" for it, from wait4.
// Usage: measure_run <stdout-file> <stderr-file> <command> [args...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace {

double seconds(const timeval &t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; }

double monotonic_seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * t.tv_nsec;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (argc < 4) {
    fputs("usage: measure_run <stdout-file> <stderr-file> <command> [args...]\n", stderr);
    return -1;
  }
  const double start = monotonic_seconds();
  const pid_t pid = fork();
  if (pid < 0) {
    perror("measure_run: fork");
    return -1;
  }
  if (pid == 0) {
    const int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) {
    perror("measure_run: wait4");
    return -1;
  }
  const double wall = monotonic_seconds() - start;
  const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.3f %.3f %ld %d\n", wall, cpu, usage.ru_maxrss, code);
  return 0;
}
