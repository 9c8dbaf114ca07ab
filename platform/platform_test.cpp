// The platform's contract, run against the backend the build links: the
// Windows one under Wine, the POSIX one natively. Windows is the reference.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::literals;
using plat::OpenMode;
using plat::OpenStatus;

OpenStatus TryOpen(const std::u16string& path, OpenMode mode) {
  plat::FileHandle file;
  return plat::OpenFile(path, mode, file);
}

// Holds a file open in another process (file_holder) while it lives.
struct Holder {
  std::u16string path;
  plat::Process process;
  Holder(const std::u16string& held, const char16_t* mode) : path(held) {
    std::u16string exe = plat::ExecutableDirectory() + u"\\file_holder";
    if (plat::PathExists(exe + u".exe")) exe += u".exe";
    process = qvtest::StartProgram(exe, u"\"" + path + u"\" " + mode);
    for (int i = 0; process && i < 3000 && !Holds(); ++i) plat::SleepMilliseconds(10);
  }
  bool Holds() const { return qvtest::Exists(path + u".held"); }
  ~Holder() {
    qvtest::WriteBytes(path + u".release", "");
    if (std::int64_t code = 0; process) plat::WaitProcess(*process, code);
  }
};

TEST(PlatformFiles, ShareModesWithAnotherProcessAsHolder) {
  struct Case {
    const char16_t* held;      // write (with read-sharing), append, or read (sharing all)
    OpenStatus write, append;  // a second open for writing with read-sharing, for appending
    bool movable;              // moves and deletes go through while it is held
  };
  const Case cases[] = {
      {u"write", OpenStatus::SharingViolation, OpenStatus::SharingViolation, false},
      {u"append", OpenStatus::SharingViolation, OpenStatus::Opened, false},
      {u"read", OpenStatus::Opened, OpenStatus::Opened, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.held));
    qvtest::ScopedTempDir dir;
    const std::u16string log = dir / u"orbeck.log";
    const std::u16string rotated = dir / u"orbeck_20261205.log";
    qvtest::WriteBytes(log, "record");
    {
      Holder holder(log, c.held);
      ASSERT_TRUE(holder.Holds());
      EXPECT_EQ(TryOpen(log, OpenMode::WriteShareRead), c.write);
      EXPECT_EQ(TryOpen(log, OpenMode::AppendShared), c.append);
      EXPECT_TRUE(plat::CanOpenForReading(log));
      EXPECT_EQ(plat::MoveNoReplace(log, rotated), c.movable);
      EXPECT_EQ(plat::RemoveFile(c.movable ? rotated : log), c.movable);
    }
    EXPECT_EQ(qvtest::Exists(log), !c.movable);
    EXPECT_FALSE(qvtest::Exists(rotated));
    if (c.movable) continue;
    // Free again; a move still never replaces its target.
    qvtest::WriteBytes(rotated, "older");
    EXPECT_FALSE(plat::MoveNoReplace(log, rotated));
    EXPECT_TRUE(plat::RemoveFile(rotated) && plat::MoveNoReplace(log, rotated));
    EXPECT_EQ(qvtest::ReadBytes(rotated), "record");
  }
}

// Every service fails when a rule says so, on either backend alike.
TEST(PlatformFaults, EveryServiceFailsWhenARuleSaysSo) {
  using plat::FaultOp;
  std::vector<plat::DirEntry> found;
  plat::FileStatus status;
  const std::pair<FaultOp, std::function<bool(const std::u16string&)>> cases[] = {
      {FaultOp::Open,
       [&](auto& p) { return TryOpen(p, OpenMode::ReadShared) == OpenStatus::Opened; }},
      {FaultOp::Read,
       [&](auto& p) { return plat::ReadProfileString(u"S", u"K", u"", 9, p) == u"v"; }},
      {FaultOp::Read, [&](auto& p) { return plat::ReadProfileInt(u"S", u"K", 5, p) == 0; }},
      {FaultOp::Move, [&](auto& p) { return plat::MoveNoReplace(p, p + u".moved"); }},
      {FaultOp::Remove, [&](auto& p) { return plat::RemoveFile(p); }},
      {FaultOp::List, [&](auto& p) { return plat::ListDirectory(p + u"*", found); }},
      {FaultOp::MakeDir, [&](auto& p) { return plat::MakeOneDirectory(p + u".d"); }},
      {FaultOp::Status, [&](auto& p) { return plat::GetFileStatus(p, status); }},
  };
  for (const auto& [op, run] : cases) {
    SCOPED_TRACE(static_cast<int>(op));
    qvtest::ScopedFaults faults;
    qvtest::ScopedTempDir dir;
    const std::u16string path = dir / u"a.ini";
    qvtest::WriteBytes(path, "[S]\r\nK=v\r\n");
    plat::InjectFault({op, 0, 1, u"a.ini"});
    EXPECT_FALSE(run(path));
    EXPECT_TRUE(qvtest::Exists(path) && !qvtest::Exists(path + u".moved"));
    EXPECT_TRUE(run(path)) << "once the rule is used up";
  }
  // A failed open reports the rule's cause; a failed write may leave part of
  // its bytes, as on a full volume.
  qvtest::ScopedFaults faults;
  qvtest::ScopedTempDir dir;
  plat::InjectFault({FaultOp::Open, 0, 1, u"", OpenStatus::SharingViolation});
  EXPECT_EQ(TryOpen(dir / u"a.log", OpenMode::WriteShareRead), OpenStatus::SharingViolation);
  plat::InjectFault({FaultOp::Write, 0, 1, u"", OpenStatus::Other, 3});
  plat::FileHandle file;
  ASSERT_EQ(plat::OpenFile(dir / u"a.log", OpenMode::WriteShareRead, file), OpenStatus::Opened);
  EXPECT_FALSE(plat::WriteBytes(*file, "abcdef", 6));
  EXPECT_TRUE(plat::WriteBytes(*file, "!", 1));
  EXPECT_EQ(qvtest::ReadBytes(dir / u"a.log"), "abc!");
}

TEST(PlatformText, UnpairedSurrogatesSurviveUtf8) {
  for (const std::u16string& text :
       {u"\u65E5\U0001F600"s, u"\xD800"s, u"a\xDC00-"s, u"\xDBFF\xDBFF"s}) {
    EXPECT_EQ(plat::FromUtf8(plat::ToUtf8(text)), text);
  }
  EXPECT_EQ(plat::ToUtf8(u"\xD800"), "\xED\xA0\x80");
}

}  // namespace
