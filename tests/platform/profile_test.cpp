// The profile file stand-in: what WritePrivateProfileStringA changes and
// what it must leave byte for byte, and what GetPrivateProfileStringA
// reads back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <ostream>
#include <string>
#include <vector>

#include "dialog_support.h"
#include "vtplatform.h"

namespace {

using dialogtest::contentsOf;
using dialogtest::ScratchFile;
using dialogtest::writeFile;

// A file with comments, odd spacing, LF endings and a last line without
// an ending: everything a careless rewrite would lose.
const std::string handWritten =
    "; presets\n"
    "[Other]\n"
    "  Alpha = 1 \n"
    "\n"
    "[Vortigens\\Dynamic]\n"
    "Item1=Flat,3\n"
    "item2 = Soft,3\n"
    "\n"
    "[Last]\n"
    "z=9";

struct WriteCase {
  const char* fault;  // what a wrong implementation would do
  const char* section;
  const char* key;
  const char* value;
  std::string expected;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.fault; }

class ProfileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyTheLineConcerned) {
  const WriteCase& c = GetParam();
  ScratchFile file;
  writeFile(file.path(), handWritten);
  EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, file.c_str()));
  EXPECT_EQ(contentsOf(file.path()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ProfileWrite,
    testing::Values(
        WriteCase{"ReplacedKeyMovedOrOthersRewritten", "vortigens\\dynamic", "ITEM2", "New,3",
                  "; presets\n[Other]\n  Alpha = 1 \n\n[Vortigens\\Dynamic]\nItem1=Flat,3\n"
                  "ITEM2=New,3\n\n[Last]\nz=9"},
        WriteCase{"NewKeyAfterBlankLineOrInWrongSection", "Vortigens\\Dynamic", "Item3", "X,3",
                  "; presets\n[Other]\n  Alpha = 1 \n\n[Vortigens\\Dynamic]\nItem1=Flat,3\n"
                  "item2 = Soft,3\nItem3=X,3\n\n[Last]\nz=9"},
        WriteCase{"NewKeyInLastSectionLosesUnendedLine", "Last", "y", "8",
                  "; presets\n[Other]\n  Alpha = 1 \n\n[Vortigens\\Dynamic]\nItem1=Flat,3\n"
                  "item2 = Soft,3\n\n[Last]\nz=9\ny=8\n"},
        WriteCase{"NewSectionNotAppended", "Vortigens\\Fourier", "Item1", "No Effect,3",
                  handWritten + "\n[Vortigens\\Fourier]\nItem1=No Effect,3\n"},
        WriteCase{"NullValueDoesNotRemoveKey", "Other", "alpha", nullptr,
                  "; presets\n[Other]\n\n[Vortigens\\Dynamic]\nItem1=Flat,3\n"
                  "item2 = Soft,3\n\n[Last]\nz=9"},
        WriteCase{"NullKeyDoesNotRemoveSection", "Vortigens\\Dynamic", nullptr, nullptr,
                  "; presets\n[Other]\n  Alpha = 1 \n\n[Last]\nz=9"},
        WriteCase{"RemovingAMissingKeyChangesTheFile", "Other", "missing", nullptr, handWritten}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.fault); });

TEST(Profile, MissingFileIsCreatedWithSectionAndKeyInWindowsLines) {
  ScratchFile file;
  EXPECT_TRUE(WritePrivateProfileStringA("Vortigens\\Fourier", "Item1",
                                         "No Effect,3,2,0,0,16384,16384", file.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Vortigens\\Fourier", "Item2", "B,3", file.c_str()));
  EXPECT_EQ(contentsOf(file.path()),
            "[Vortigens\\Fourier]\r\nItem1=No Effect,3,2,0,0,16384,16384\r\nItem2=B,3\r\n");
}

TEST(Profile, WriteIntoAnUnwritablePlaceFailsAndCreatesNothing) {
  const std::string path = testing::TempDir() + "no-such-directory/presets.ini";
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", path.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", nullptr));
}

TEST(Profile, ReadsValuesTrimmedAndUnquotedAndFallsBack) {
  ScratchFile file;
  writeFile(file.path(), "[S]\r\n  key =  \"quoted value\"  \r\nplain= a b \r\nempty=  \r\n");
  char buffer[64];
  EXPECT_EQ(GetPrivateProfileStringA("s", "KEY", "", buffer, sizeof buffer, file.c_str()), 12u);
  EXPECT_STREQ(buffer, "quoted value");
  EXPECT_EQ(GetPrivateProfileStringA("S", "plain", "", buffer, sizeof buffer, file.c_str()), 3u);
  EXPECT_STREQ(buffer, "a b");
  EXPECT_EQ(
      GetPrivateProfileStringA("S", "absent", "fallback  ", buffer, sizeof buffer, file.c_str()),
      8u);
  EXPECT_STREQ(buffer, "fallback");
  // An empty value is found, and empty; the fallback does not stand in.
  EXPECT_EQ(GetPrivateProfileStringA("S", "empty", "fallback", buffer, sizeof buffer, file.c_str()),
            0u);
  EXPECT_STREQ(buffer, "");
  // A value that does not fit is cut, and the result says so: size - 1.
  EXPECT_EQ(GetPrivateProfileStringA("S", "key", "", buffer, 7, file.c_str()), 6u);
  EXPECT_STREQ(buffer, "quoted");
}

TEST(Profile, ListsKeysAndSectionsEachEndedByAZeroAndTheListByAnother) {
  ScratchFile file;
  writeFile(file.path(), "[A]\nItem1=x\n; note\nItem10=y\n[B]\nk=z\n");
  char buffer[64];
  const DWORD keys =
      GetPrivateProfileStringA("a", nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(std::string(buffer, keys + 1), std::string("Item1\0Item10\0\0", 14));
  const DWORD sections =
      GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(std::string(buffer, sections + 1), std::string("A\0B\0\0", 5));
  EXPECT_EQ(GetPrivateProfileStringA("missing", nullptr, "", buffer, sizeof buffer, file.c_str()),
            0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '\0');
  // A list that does not fit ends in two zeros and reports size - 2.
  EXPECT_EQ(GetPrivateProfileStringA("A", nullptr, "", buffer, 9, file.c_str()), 7u);
  EXPECT_EQ(std::string(buffer, 9), std::string("Item1\0I\0\0", 9));
}

// Every buffer size, each buffer exactly that long so that the sanitizers
// see a write past it: a list cut where the names before the cut already
// fill the buffer must not copy a negative count of the next name.
TEST(Profile, ListsCutToEveryBufferSizeStayInsideTheBuffer) {
  ScratchFile file;
  writeFile(file.path(), "[A]\nk=1\n[B]\n");
  const struct {
    DWORD size, result;
    std::string contents;
  } cases[] = {{1, 0, std::string("\0", 1)},       {2, 0, std::string("\0\0", 2)},
               {3, 1, std::string("A\0\0", 3)},    {4, 2, std::string("A\0\0\0", 4)},
               {5, 4, std::string("A\0B\0\0", 5)}, {6, 4, std::string("A\0B\0\0", 5)}};
  for (const auto& c : cases) {
    SCOPED_TRACE("buffer of " + std::to_string(c.size));
    std::vector<char> buffer(c.size, 'x');
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), c.size, file.c_str()),
              c.result);
    EXPECT_EQ(std::string(buffer.data(), c.contents.size()), c.contents);
  }
}

// "[]" names a section with an empty name; listed, it would end the list
// (two zeros in a row) before the sections after it.
TEST(Profile, SectionWithAnEmptyNameDoesNotHideTheSectionsAfterIt) {
  ScratchFile file;
  writeFile(file.path(), "[A]\n[]\nk=v\n[B]\n");
  char buffer[16];
  const DWORD length =
      GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
  EXPECT_EQ(std::string(buffer, length + 1), std::string("A\0B\0\0", 5));
}

// ---- The file as its owner left it -----------------------------------------

mode_t modeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// Nothing but the file itself: no temporary left beside it.
size_t filesIn(const std::string& directory) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
  return count;
}

struct ScratchDirectory {
  std::string path;
  ScratchDirectory() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path = testing::TempDir() + "vortigen-profile-" + test->name();
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchDirectory() { std::filesystem::remove_all(path); }
};

TEST(ProfileKeeping, AReadOnlyFileIsNotReplaced) {
  ScratchDirectory dir;
  const std::string path = dir.path + "/presets.ini";
  writeFile(path, handWritten);
  chmod(path.c_str(), 0444);
  EXPECT_FALSE(WritePrivateProfileStringA("Last", "z", "changed", path.c_str()));
  EXPECT_EQ(contentsOf(path), handWritten);
  EXPECT_EQ(modeOf(path), 0444u);
  EXPECT_EQ(filesIn(dir.path), 1u);
}

TEST(ProfileKeeping, ModeAndOwnerAreKept) {
  ScratchDirectory dir;
  const std::string path = dir.path + "/presets.ini";
  writeFile(path, handWritten);
  chmod(path.c_str(), 0640);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path.c_str(), 4321, 4321), 0);
  }
  ASSERT_TRUE(WritePrivateProfileStringA("Last", "z", "changed", path.c_str()));
  EXPECT_EQ(modeOf(path), 0640u);
  struct stat info {};
  stat(path.c_str(), &info);
  if (root) {
    EXPECT_EQ(info.st_uid, 4321u) << "the owner changed";
  }
  EXPECT_EQ(filesIn(dir.path), 1u);
}

// The link stays a link: the file it leads to is written, through a
// temporary file beside that file.
TEST(ProfileKeeping, ALinkStaysALinkAndItsTargetIsWritten) {
  ScratchDirectory dir;
  std::filesystem::create_directories(dir.path + "/real");
  std::filesystem::create_directories(dir.path + "/config");
  const std::string target = dir.path + "/real/presets.ini";
  const std::string link = dir.path + "/config/presets.ini";
  writeFile(target, handWritten);
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(WritePrivateProfileStringA("Last", "z", "changed", link.c_str()));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(contentsOf(target).find("z=changed"), std::string::npos);
  EXPECT_EQ(filesIn(dir.path + "/real"), 1u);
  EXPECT_EQ(filesIn(dir.path + "/config"), 1u);
}

// A line break would let a value write lines of its own: a section of its
// making among them.
TEST(ProfileKeeping, ALineBreakInASectionKeyOrValueIsRefused) {
  ScratchFile file;
  writeFile(file.path(), handWritten);
  EXPECT_FALSE(
      WritePrivateProfileStringA("Last", "z", "Evil\r\n[Hijack]\r\nInjected=1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("Last", "z\n[Hijack]", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("Last]\n[Hijack", "z", "1", file.c_str()));
  EXPECT_EQ(contentsOf(file.path()), handWritten);
}

// Reads are served from the last file parsed while it stays the same file;
// a change by anyone else, even to the same size, is read anew.
TEST(ProfileKeeping, AFileChangedByAnotherIsReadAnew) {
  ScratchFile file;
  char value[16] = "";
  writeFile(file.path(), "[S]\nk=one\n");
  GetPrivateProfileStringA("S", "k", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "one");
  writeFile(file.path(), "[S]\nk=two\n");
  GetPrivateProfileStringA("S", "k", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "two");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "six", file.c_str()));
  GetPrivateProfileStringA("S", "k", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "six");
}

}  // namespace
