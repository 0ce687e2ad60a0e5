// Runs every case folder under golden/cases through the built program and compares the
// whole standard output, standard error, exit status and every file of the working folder.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <map>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &p) { return slurp(p.string()); }

std::vector<std::string> read_args(const fs::path &p) {
  std::vector<std::string> args;
  std::istringstream in(read_file(p));
  for (std::string line; std::getline(in, line);) args.push_back(line);
  return args;
}

// Files below root by relative path, with their bytes.
std::map<std::string, std::string> snapshot(const fs::path &root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto &e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = read_file(e.path());
  return files;
}

// The version line and the measured times differ between builds and machines.
std::string mask_stdout(const std::string &text) {
  static const char *const time_labels[] = {"user time (s):", "system time (s):",
                                            "elapsed time (s):"};
  std::string out;
  std::istringstream in(text);
  int line_no = 0;
  for (std::string line; std::getline(in, line);) {
    if (++line_no == 2) line = "<version>";
    for (const char *label : time_labels)
      if (line.rfind(label, 0) == 0) line = std::string(label) + " <time>";
    out += line;
    if (!in.eof()) out += '\n';
  }
  return out;
}

struct RUN_RESULT {
  int status;
  std::string out;
  std::string err;
};

// Reads both pipes to their ends; polling keeps a child that fills one from blocking.
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

// fsize_limit > 0 caps the size of every file the program writes (a failing disk); the
// console goes through pipes, which the limit does not touch.
RUN_RESULT run_program(const fs::path &workdir, const std::vector<std::string> &args,
                       const fs::path &stdin_path, long fsize_limit,
                       const std::vector<std::string> &env) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return RUN_RESULT{-1, "", "pipe failed"};
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(workdir.c_str()) != 0) _exit(127);
    int in = open(stdin_path.c_str(), O_RDONLY);
    if (in < 0) _exit(127);
    dup2(in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (fsize_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{static_cast<rlim_t>(fsize_limit), static_cast<rlim_t>(fsize_limit)};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(127);
    }
    for (const auto &e : env) putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("polyest"));
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(POLYEST_BIN, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  RUN_RESULT r{-1, "", ""};
  drain(out_pipe[0], err_pipe[0], &r.out, &r.err);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return r;
}

// A locale named by a case's env file: the system's, else one made with localedef into dir
// (found by the program through LOCPATH). Empty when it cannot be had.
std::string locale_path_for(const std::string &name, const std::string &dir) {
  if (locale_t l = newlocale(LC_ALL_MASK, name.c_str(), nullptr)) {
    freelocale(l);
    return "/";
  }
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return "";
  const std::string cmd = "localedef -i " + name.substr(0, dot) + " -f " + name.substr(dot + 1) +
                          " " + dir + "/" + name + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0 && !fs::exists(dir + "/" + name + "/LC_NUMERIC")) return "";
  return dir;
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, MatchesExpectedRun) {
  const fs::path dir = fs::path(TEST_DATA_DIR) / "golden" / "cases" / GetParam();
  ScratchDir work;
  if (fs::exists(dir / "in")) fs::copy(dir / "in", work.root, fs::copy_options::recursive);
  const fs::path stdin_path = fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null");
  const long fsize_limit =
      fs::exists(dir / "fsize_limit") ? std::stol(read_file(dir / "fsize_limit")) : 0;
  // fifos: named pipes made in the working folder; env: NAME=VALUE settings of the run, where
  // a locale in LC_ALL must exist (or be made) or the case is skipped.
  if (fs::exists(dir / "fifos")) {
    for (const auto &name : read_args(dir / "fifos"))
      ASSERT_EQ(mkfifo((work.root + "/" + name).c_str(), 0600), 0) << name;
  }
  std::vector<std::string> env = fs::exists(dir / "env") ? read_args(dir / "env")
                                                         : std::vector<std::string>{};
  ScratchDir locales;
  for (const auto &e : std::vector<std::string>(env)) {
    if (e.rfind("LC_ALL=", 0) != 0) continue;
    const std::string path = locale_path_for(e.substr(7), locales.root);
    if (path.empty()) {
      GTEST_SKIP() << "locale " << e.substr(7) << " is not installed and localedef could not "
                   << "make it";
    }
    if (path != "/") env.push_back("LOCPATH=" + path);
  }
  const RUN_RESULT r =
      run_program(work.root, read_args(dir / "args"), stdin_path, fsize_limit, env);

  EXPECT_EQ(mask_stdout(r.out), read_file(dir / "stdout"));
  EXPECT_EQ(r.err, read_file(dir / "stderr"));
  EXPECT_EQ(r.status, std::stoi(read_file(dir / "status")));
  // The inputs unchanged unless out/ holds what they became, and nothing else.
  auto expected = snapshot(dir / "in");
  for (const auto &[name, bytes] : snapshot(dir / "out")) expected[name] = bytes;
  const auto actual = snapshot(work.root);
  std::string wrong;
  for (const auto &[name, bytes] : expected)
    if (!actual.count(name) || actual.at(name) != bytes) wrong += " " + name;
  for (const auto &[name, bytes] : actual)
    if (!expected.count(name)) wrong += " " + name + "(unexpected)";
  EXPECT_EQ(wrong, "") << "files missing, different or unexpected";
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  const fs::path root = fs::path(TEST_DATA_DIR) / "golden" / "cases";
  if (fs::exists(root))
    for (const auto &e : fs::directory_iterator(root))
      if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCase, ::testing::ValuesIn(case_names()),
                         [](const auto &info) {
                           std::string n = info.param;
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GoldenCase);

}  // namespace
