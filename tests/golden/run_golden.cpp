// Runs every case folder under golden/cases through the built program it names and compares
// the whole standard output, standard error, exit status and every file of the working folder.
#include <sys/stat.h>

#include <clocale>
#include <map>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &p) { return slurp(p.string()); }

std::vector<std::string> read_lines(const fs::path &p) {
  std::vector<std::string> lines;
  std::istringstream in(read_file(p));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Files below root by relative path, with their bytes.
std::map<std::string, std::string> snapshot(const fs::path &root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto &e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = read_file(e.path());
  return files;
}

// polyest's version number and measured times differ between builds and machines.
std::string mask_stdout(const std::string &text) {
  static const char *const time_labels[] = {"user time (s):", "system time (s):",
                                            "elapsed time (s):"};
  std::string out;
  std::istringstream in(text);
  int line_no = 0;
  for (std::string line; std::getline(in, line);) {
    if (++line_no == 2) line = replaced(line, POLYEST_VERSION, "<version>");
    for (const char *label : time_labels)
      if (line.rfind(label, 0) == 0) line = std::string(label) + " <time>";
    out += line;
    if (!in.eof()) out += '\n';
  }
  return out;
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

const std::map<std::string, std::string> kPrograms = {
    {"polyest", POLYEST_BIN}, {"mkscene", MKSCENE_BIN}, {"offmap", OFFMAP_BIN}};

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, MatchesExpectedRun) {
  const fs::path dir = fs::path(TEST_DATA_DIR) / "golden" / "cases" / GetParam();
  ScratchDir work;
  if (fs::exists(dir / "in")) fs::copy(dir / "in", work.root, fs::copy_options::recursive);
  const std::string program =
      fs::exists(dir / "program") ? read_lines(dir / "program").at(0) : "polyest";
  CHILD_COMMAND cmd;
  cmd.argv = {kPrograms.at(program)};
  cmd.workdir = work.root;
  cmd.name = program;
  for (const auto &a : read_lines(dir / "args")) cmd.argv.push_back(a);
  if (fs::exists(dir / "stdin")) cmd.stdin_path = (dir / "stdin").string();
  if (fs::exists(dir / "stdout_to")) cmd.stdout_path = read_lines(dir / "stdout_to").at(0);
  if (fs::exists(dir / "fsize_limit")) cmd.fsize_limit = std::stol(read_file(dir / "fsize_limit"));
  // fifos: named pipes made in the working folder; env: NAME=VALUE settings of the run, where
  // a locale in LC_ALL must exist (or be made) or the case is skipped.
  if (fs::exists(dir / "fifos")) {
    for (const auto &name : read_lines(dir / "fifos"))
      ASSERT_EQ(mkfifo((work.root + "/" + name).c_str(), 0600), 0) << name;
  }
  if (fs::exists(dir / "env")) cmd.env = read_lines(dir / "env");
  ScratchDir locales;
  for (const auto &e : std::vector<std::string>(cmd.env)) {
    if (e.rfind("LC_ALL=", 0) != 0) continue;
    const std::string path = locale_path_for(e.substr(7), locales.root);
    if (path.empty()) GTEST_SKIP() << "locale " << e.substr(7) << " cannot be had";
    if (path != "/") cmd.env.push_back("LOCPATH=" + path);
  }
  const CHILD_RESULT r = run_child(cmd);

  EXPECT_EQ(program == "polyest" ? mask_stdout(r.out) : r.out, read_file(dir / "stdout"));
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
  for (const auto &e : fs::directory_iterator(fs::path(TEST_DATA_DIR) / "golden" / "cases"))
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

}  // namespace
