// The program's command line, driven as a user's shell does: the built program in a child
// process, mostly without any display.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

enum class TDisplay {
  None,       // neither DISPLAY nor WAYLAND_DISPLAY
  Broken,     // both set, nothing behind them
  Inherited,  // the test's own display: a window would open if the program went on
};

struct TCase {
  const char* Name;
  std::vector<const char*> Args;
  TDisplay Display;
  int Status;
  const char* Out;  // a line standard output starts with; nullptr: nothing on it
  const char* Err;  // what the single line on standard error holds; nullptr: nothing on it
  const char* Platform = nullptr;  // QT_QPA_PLATFORM, when the user set one
};

const std::string kVersionLine = "moons-of-orvanth (Moons of Orvanth) " ORVANTH_VERSION "\n";
const char* const kHelpFirst = "Usage: moons-of-orvanth [OPTION]\n";
const char* const kTryHelp = "; try 'moons-of-orvanth --help'";

const TCase kCases[] = {
    {"help", {"--help"}, TDisplay::None, 0, kHelpFirst, nullptr},
    {"version", {"--version"}, TDisplay::None, 0, kVersionLine.c_str(), nullptr},
    {"help before a wrong option", {"--help", "--bogus"}, TDisplay::None, 0, kHelpFirst, nullptr},
    {"wrong option before help",
     {"--bogus", "--help"},
     TDisplay::None,
     2,
     nullptr,
     "moons-of-orvanth: unknown option '--bogus'; try 'moons-of-orvanth --help'"},
    {"a toolkit option", {"-reverse"}, TDisplay::None, 2, nullptr, "unknown option '-reverse'"},
    {"a toolkit option with its value",
     {"-platform", "offscreen"},
     TDisplay::None,
     2,
     nullptr,
     "unknown option '-platform'"},
    {"a file name", {"moon.png"}, TDisplay::None, 2, nullptr, "unexpected argument 'moon.png'"},
    {"an option after the end of options",
     {"--", "--help"},
     TDisplay::None,
     2,
     nullptr,
     "unexpected argument '--help'"},
    {"an option with a value it does not take",
     {"--version=2"},
     TDisplay::None,
     2,
     nullptr,
     "unknown option '--version=2'"},
    {"no display at all", {}, TDisplay::None, 1, nullptr, "neither DISPLAY nor WAYLAND_DISPLAY"},
    {"displays that are not there", {}, TDisplay::Broken, 1, nullptr, "cannot connect"},
    {"the X platform asked for without an X display",
     {},
     TDisplay::None,
     1,
     nullptr,
     "cannot connect to the display QT_QPA_PLATFORM=xcb",
     "xcb"},
    {"help beside a display", {"--help"}, TDisplay::Inherited, 0, kHelpFirst, nullptr},
    {"a toolkit option beside a display",
     {"-reverse"},
     TDisplay::Inherited,
     2,
     nullptr,
     "unknown option '-reverse'"},
};

bool HaveDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

class CommandLine : public ::testing::TestWithParam<TCase> {};

TEST_P(CommandLine, AnswersAndEndsWithItsStatus) {
  const TCase& c = GetParam();
  if (c.Display == TDisplay::Inherited && !HaveDisplay()) GTEST_SKIP() << "needs a display";
  QTemporaryDir runtime;  // made with mode 0700, as a session's runtime folder is
  ASSERT_TRUE(runtime.isValid());

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (c.Display != TDisplay::Inherited) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"}) {
      environment.remove(name);
    }
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
  }
  if (c.Display == TDisplay::Broken) {
    environment.insert("DISPLAY", ":4093");
    environment.insert("WAYLAND_DISPLAY", "nowhere-0");
  }
  if (c.Platform != nullptr) environment.insert("QT_QPA_PLATFORM", c.Platform);
  QProcess program;
  program.setProcessEnvironment(environment);
  QStringList args;
  for (const char* arg : c.Args) args << arg;
  program.start(ORVANTH_VIEWER, args);
  ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
  // A program that went on to open its window would still be running.
  if (!program.waitForFinished(30000)) {
    program.kill();
    program.waitForFinished();
    FAIL() << "still running after 30 s: it went past the command line";
  }
  const std::string out = program.readAllStandardOutput().toStdString();
  const std::string err = program.readAllStandardError().toStdString();
  ASSERT_EQ(program.exitStatus(), QProcess::NormalExit) << "crashed; standard error:\n" << err;
  EXPECT_EQ(program.exitCode(), c.Status) << "standard error:\n" << err;

  if (c.Out == nullptr) {
    EXPECT_EQ(out, "");
  } else {
    EXPECT_EQ(out.rfind(c.Out, 0), 0u) << "standard output:\n" << out;
  }
  if (c.Err == nullptr) {
    EXPECT_EQ(err, "");
  } else {
    EXPECT_NE(err.find(c.Err), std::string::npos) << "standard error:\n" << err;
    EXPECT_EQ(err.rfind("moons-of-orvanth: ", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line:\n" << err;
  }
  if (c.Status == 2) {
    EXPECT_NE(err.find(kTryHelp), std::string::npos) << err;
  }
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& info) {
  std::string name;
  for (const char* p = info.param.Name; *p != '\0'; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p)))
      name += *p;
    else if (*p == ' ')
      name += '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
