#include "platform/files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "platform/errors.h"
#include "tests/support/scoped_env.h"

namespace brelix::platform {
namespace {

using brelix::testing::ScopedEnv;

namespace fs = std::filesystem;

// A fresh folder of its own for each test, removed afterwards.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "brelix-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Content(const fs::path& file) {
    const auto bytes = ReadFileBytes(file);
    return std::string(bytes.begin(), bytes.end());
  }
  static void Write(const fs::path& file, const std::string& text) {
    WriteFileBytes(file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  // The names in the folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
    return names;
  }
  // Expects fn to throw E with every one of the parts in its message.
  template <class E, class Fn>
  static void ExpectError(Fn fn, std::initializer_list<std::string> parts) {
    try {
      fn();
      ADD_FAILURE() << "no error";
    } catch (const E& e) {
      for (const std::string& part : parts)
        EXPECT_NE(std::string(e.Message()).find(part), std::string::npos) << e.Message() << " lacks " << part;
    }
  }

  fs::path dir_;
};


TEST_F(FilesTest, TempFolderEndsWithSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/x", "/var/x/"}, {"/var/x/", "/var/x/"}};
  for (const auto& [tmpdir, folder] : cases) {
    ScopedEnv env("TMPDIR", tmpdir);
    EXPECT_EQ(TempFolder(), folder);
  }
}

TEST_F(FilesTest, TempFilesAreNewEmptyAndNamedInTheFolder) {
  const std::regex name("BRE[0-9A-F]{1,4}\\.tmp");
  std::set<std::string> made;
  for (int i = 0; i < 50; ++i) {
    // With and without the trailing separator.
    const std::string file = CreateTempFile(i % 2 ? dir_.string() : dir_.string() + "/");
    EXPECT_TRUE(made.insert(file).second) << file << " given twice";
    const fs::path path(file);
    EXPECT_EQ(path.parent_path(), dir_);
    EXPECT_TRUE(std::regex_match(path.filename().string(), name)) << file;
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fs::file_size(path), 0u);
  }
}

TEST_F(FilesTest, TempFileInAMissingFolderNamesFolderAndReason) {
  const std::string missing = (dir_ / "missing").string();
  ExpectError<EOSError>([&] { CreateTempFile(missing); }, {missing, "No such file or directory"});
}

TEST_F(FilesTest, TempFileFailsWhenAllNamesAreTaken) {
  for (unsigned n = 0; n < 0x10000; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "BRE%X.tmp", n);
    const int fd = ::open((dir_ / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
  }
  ExpectError<EOSError>([&] { CreateTempFile(dir_.string()); }, {dir_.string()});
}

TEST_F(FilesTest, ReadAndWriteBytes) {
  const std::string data("a\0b\xFF\r\n", 6);
  const fs::path file = dir_ / "data.bin";
  Write(file, "a much longer old content");
  Write(file, data);
  EXPECT_EQ(Content(file), data);
  Write(file, "");
  EXPECT_EQ(Content(file), "");

  const fs::path missing = dir_ / "none" / "data.bin";
  ExpectError<EFileError>([&] { ReadFileBytes(missing); }, {missing.string(), "No such file"});
  ExpectError<EFileError>([&] { Write(missing, "x"); }, {missing.string(), "No such file"});
  ExpectError<EFileError>([&] { ReadFileBytes(dir_); }, {dir_.string(), "Is a directory"});
}

TEST_F(FilesTest, CopyFileReplacesDestAndNamesTheFailingFile) {
  const fs::path source = dir_ / "source.txt", dest = dir_ / "dest.txt";
  Write(source, "new");
  Write(dest, "the old and longer content");
  CopyFile(source, dest);
  EXPECT_EQ(Content(dest), "new");
  CopyFile(source, source);
  EXPECT_EQ(Content(source), "new");

  const fs::path missing = dir_ / "missing.txt", bad_dest = dir_ / "none" / "dest.txt";
  ExpectError<EFileError>([&] { CopyFile(missing, dest); }, {missing.string()});
  ExpectError<EFileError>([&] { CopyFile(source, bad_dest); }, {bad_dest.string()});
  EXPECT_EQ(Content(dest), "new");
}

TEST_F(FilesTest, AtomicWriteReplacesTheFileAndLeavesNoTemporaryFile) {
  const fs::path file = dir_ / "report.xml";
  WriteFileAtomically(file, "first");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileAtomically(file, "second");
  EXPECT_EQ(Content(file), "second");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Names(), std::set<std::string>{"report.xml"});
}

TEST_F(FilesTest, FailedAtomicWriteKeepsTheOldFile) {
  const fs::path missing = dir_ / "none" / "report.xml";
  ExpectError<EFileError>([&] { WriteFileAtomically(missing, "x"); }, {missing.string(), "No such file"});

  // A directory in the way: the rename fails.
  const fs::path in_the_way = dir_ / "sub";
  fs::create_directory(in_the_way);
  Write(in_the_way / "keep.txt", "kept");
  ExpectError<EFileError>([&] { WriteFileAtomically(in_the_way, "x"); }, {in_the_way.string()});
  EXPECT_EQ(Content(in_the_way / "keep.txt"), "kept");

  // The disk fills up half-way: a file size limit makes the write fail.
  const fs::path file = dir_ / "report.xml";
  Write(file, "old content");
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool failed = false;
  try {
    WriteFileAtomically(file, std::string(4096, 'x'));
  } catch (const EFileError& e) {
    failed = std::string(e.Message()).find(file.string()) != std::string::npos;
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(failed);
  EXPECT_EQ(Content(file), "old content");
  EXPECT_EQ(Names(), (std::set<std::string>{"report.xml", "sub"}));
}

TEST_F(FilesTest, ProgramFolderResolvesRelativeNames) {
  const fs::path executable_folder = ProgramFolder();
  EXPECT_TRUE(executable_folder.is_absolute());
  EXPECT_TRUE(fs::is_directory(executable_folder));

  SetProgramFolder(dir_.string() + "/");
  EXPECT_EQ(ProgramFolder(), dir_);
  const std::pair<fs::path, fs::path> cases[] = {
      {"report.xml", dir_ / "report.xml"},
      {"sub/report.xml", dir_ / "sub/report.xml"},
      {"/etc/report.xml", "/etc/report.xml"},
  };
  for (const auto& [name, resolved] : cases) EXPECT_EQ(ResolveProgramPath(name), resolved);

  SetProgramFolder("");
  EXPECT_EQ(ProgramFolder(), executable_folder);
}

}  // namespace
}  // namespace brelix::platform
