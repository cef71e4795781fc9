// The desktop entry and the AppStream description: valid for the freedesktop tools, and
// naming the same program, icon and each other.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// From the build, not __FILE__: a compiler cache may make source paths relative.
const std::filesystem::path kAssets = ORVANTH_ASSETS_SOURCE_DIR;
const std::filesystem::path kDesktop = kAssets / "com.talvoren.MoonsOfOrvanth.desktop";
const std::filesystem::path kMetainfo = kAssets / "com.talvoren.MoonsOfOrvanth.metainfo.xml";

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// Runs a validator quietly; -1 when the tool is not installed.
int Validate(const std::string& tool, const std::string& arguments) {
  if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) return -1;
  return std::system((tool + " " + arguments + " >/dev/null 2>&1").c_str());
}

TEST(DesktopFiles, NameTheProgramTheIconAndEachOther) {
  const std::string desktop = Read(kDesktop);
  const std::string metainfo = Read(kMetainfo);
  ASSERT_FALSE(desktop.empty()) << kDesktop;
  ASSERT_FALSE(metainfo.empty()) << kMetainfo;
  EXPECT_TRUE(HasLine(desktop, "Name=Moons of Orvanth"));
  EXPECT_TRUE(HasLine(desktop, "Exec=moons-of-orvanth"));
  // The icons are installed as share/icons/hicolor/<n>x<n>/apps/moons-of-orvanth.png.
  EXPECT_TRUE(HasLine(desktop, "Icon=moons-of-orvanth"));
  EXPECT_TRUE(HasLine(desktop, "Categories=Education;Science;Astronomy;"));
  EXPECT_NE(metainfo.find("<id>com.talvoren.MoonsOfOrvanth</id>"), std::string::npos);
  EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + kDesktop.filename().string() +
                          "</launchable>"),
            std::string::npos);
  EXPECT_NE(metainfo.find("<binary>moons-of-orvanth</binary>"), std::string::npos);
}

TEST(DesktopFiles, PassTheFreedesktopValidators) {
  const int desktop = Validate("desktop-file-validate", "'" + kDesktop.string() + "'");
  const int metainfo = Validate("appstreamcli", "validate --no-net '" + kMetainfo.string() + "'");
  if (desktop == -1 && metainfo == -1) GTEST_SKIP() << "no validator installed";
  if (desktop != -1) {
    EXPECT_EQ(desktop, 0) << "desktop-file-validate " << kDesktop;
  }
  if (metainfo != -1) {
    EXPECT_EQ(metainfo, 0) << "appstreamcli validate " << kMetainfo;
  }
}

}  // namespace
