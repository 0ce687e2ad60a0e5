// Runs every case folder under golden/cases through the built program and compares the
// whole standard output, standard error, exit status and every file of the working folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

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
  std::string out = text;
  const size_t first = out.find('\n');
  if (first != std::string::npos) {
    const size_t second = out.find('\n', first + 1);
    if (second != std::string::npos) out.replace(first + 1, second - first - 1, "<version>");
  }
  static const std::regex times("((user|system|elapsed) time \\(s\\): +)[-0-9.]+");
  return std::regex_replace(out, times, "$1<time>");
}

struct RUN_RESULT {
  int status;
  std::string out;
  std::string err;
};

RUN_RESULT run_program(const fs::path &workdir, const std::vector<std::string> &args,
                       const fs::path &stdin_path) {
  const fs::path out_path = workdir.parent_path() / (workdir.filename().string() + ".stdout");
  const fs::path err_path = workdir.parent_path() / (workdir.filename().string() + ".stderr");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(workdir.c_str()) != 0) _exit(127);
    int in = open(stdin_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("polyest"));
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(POLYEST_BIN, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RUN_RESULT r{WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, read_file(out_path),
               read_file(err_path)};
  fs::remove(out_path);
  fs::remove(err_path);
  return r;
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, MatchesExpectedRun) {
  const fs::path dir = fs::path(TEST_DATA_DIR) / "golden" / "cases" / GetParam();
  const fs::path work = fs::temp_directory_path() / ("polyest_golden_" + GetParam() + "_" +
                                                     std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  if (fs::exists(dir / "in")) fs::copy(dir / "in", work, fs::copy_options::recursive);
  const auto inputs = snapshot(dir / "in");
  const auto expected_files = snapshot(dir / "out");

  const fs::path stdin_path = fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null");
  const RUN_RESULT r = run_program(work, read_args(dir / "args"), stdin_path);

  EXPECT_EQ(mask_stdout(r.out), read_file(dir / "stdout"));
  EXPECT_EQ(r.err, read_file(dir / "stderr"));
  EXPECT_EQ(r.status, std::stoi(read_file(dir / "status")));

  const auto actual_files = snapshot(work);
  for (const auto &[name, bytes] : expected_files) {
    auto it = actual_files.find(name);
    if (it == actual_files.end()) {
      ADD_FAILURE() << "missing output file " << name;
      continue;
    }
    EXPECT_TRUE(it->second == bytes) << "output file differs: " << name;
  }
  for (const auto &[name, bytes] : actual_files) {
    if (expected_files.count(name)) continue;
    auto in = inputs.find(name);
    if (in == inputs.end())
      ADD_FAILURE() << "unexpected file " << name;
    else
      EXPECT_TRUE(in->second == bytes) << "input file changed: " << name;
  }
  fs::remove_all(work);
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
