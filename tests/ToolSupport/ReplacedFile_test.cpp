// ReplacedFile on real files in a fresh folder: a file is replaced whole or
// not at all, through a link, with its permissions, and a device is written
// directly rather than renamed over.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Support/TestFiles.h"
#include "ToolSupport/ReplacedFile.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::FileNamesIn;
using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteText;

fs::perms PermissionsOf(const fs::path& path) { return fs::status(path).permissions() & fs::perms::all; }

TEST(ReplacedFile, NewFileGetsTheUsualPermissions) {
  TempFolder folder;
  const mode_t mask = umask(022);
  {
    ReplacedFile file(folder.File("new.txt"));
    EXPECT_TRUE(file.HasTemporary());
    EXPECT_FALSE(file.Error());
    EXPECT_NE(file.WritePath(), folder.File("new.txt"));
    EXPECT_EQ(FileNamesIn(folder.Path()).size(), 1u);  // only the temporary file yet
    ASSERT_TRUE(file.Write("new\n"));
    ASSERT_TRUE(file.Commit());
  }
  umask(mask);
  EXPECT_EQ(ReadAll(folder.File("new.txt")), "new\n");
  EXPECT_EQ(PermissionsOf(folder.File("new.txt")), static_cast<fs::perms>(0644));
  EXPECT_EQ(FileNamesIn(folder.Path()), std::vector<std::string>{"new.txt"});
}

TEST(ReplacedFile, ReplacesTheTargetOfALinkKeepingItsPermissions) {
  TempFolder folder;
  WriteText(folder.File("result.dat"), "old\n");
  fs::permissions(folder.File("result.dat"), static_cast<fs::perms>(0640));
  fs::create_symlink("result.dat", folder.File("link.dat"));
  {
    ReplacedFile file(folder.File("link.dat"));
    ASSERT_TRUE(file.Write("new\n"));
    EXPECT_EQ(ReadAll(folder.File("result.dat")), "old\n");  // nothing replaced before Commit
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_TRUE(fs::is_symlink(folder.File("link.dat")));
  EXPECT_EQ(ReadAll(folder.File("result.dat")), "new\n");
  EXPECT_EQ(PermissionsOf(folder.File("result.dat")), static_cast<fs::perms>(0640));
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"link.dat", "result.dat"}));
}

// Whether the run ends before Commit or Commit's rename fails, the old file
// stays as it was and no temporary file is left.
TEST(ReplacedFile, FailureLeavesTheOldFileAndNoTemporaryFile) {
  TempFolder folder;
  WriteText(folder.File("out.txt"), "old\n");
  {
    ReplacedFile file(folder.File("out.txt"));
    ASSERT_TRUE(file.Write("half"));
  }
  EXPECT_EQ(ReadAll(folder.File("out.txt")), "old\n");
  EXPECT_EQ(FileNamesIn(folder.Path()), std::vector<std::string>{"out.txt"});

  // A folder that took the name meanwhile cannot be renamed over.
  ReplacedFile file(folder.File("taken"));
  ASSERT_TRUE(file.Write("new\n"));
  fs::create_directory(folder.File("taken"));
  WriteText(folder.File("taken") + "/inside.txt", "kept\n");
  EXPECT_FALSE(file.Commit());
  EXPECT_TRUE(file.Error());
  EXPECT_EQ(ReadAll(folder.File("taken") + "/inside.txt"), "kept\n");
  EXPECT_EQ(FileNamesIn(folder.Path()), (std::vector<std::string>{"out.txt", "taken"}));
}

TEST(ReplacedFile, DevicesAreWrittenDirectly) {
  for (const std::string device : {"/dev/null", "/dev/full"}) {
    struct stat before {};
    if (stat(device.c_str(), &before) != 0 || !S_ISCHR(before.st_mode)) continue;
    ReplacedFile file(device);
    // Never commit a temporary file over a device: the destructor removes it.
    ASSERT_FALSE(file.HasTemporary()) << device;
    EXPECT_FALSE(file.Error()) << device;
    EXPECT_EQ(file.WritePath(), device);
    EXPECT_EQ(file.Write("text\n"), device == "/dev/null");
    EXPECT_TRUE(file.Commit()) << device;
    struct stat after {};
    ASSERT_EQ(stat(device.c_str(), &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << device << " was replaced";
  }
}

TEST(ReplacedFile, NoTemporaryFileInAMissingFolderIsReported) {
  TempFolder folder;
  ReplacedFile file(folder.File("missing/out.txt"));
  EXPECT_FALSE(file.HasTemporary());
  EXPECT_EQ(file.Error(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(file.WritePath(), folder.File("missing/out.txt"));
  EXPECT_FALSE(file.Write("text\n"));
}

}  // namespace
