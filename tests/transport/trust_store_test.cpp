// The console's trust store on disk: "missing" is empty, anything it cannot read is refused
// (never read as empty and rewritten), and several writers at once lose nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "transport/core/trust_store.h"
#include "wire_helpers.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>
#endif

namespace tavi {
namespace {

using test::TestMac;

const Mac kAgent = TestMac(0xA0);

crypto::Key KeyOf(uint8_t b) {
  crypto::Key k{};
  k.fill(b);
  return k;
}

std::string Line(const Mac& mac, uint8_t key, const std::string& name = "SERVER01") {
  TrustEntry e;
  e.mac = mac;
  e.hostName = name;
  e.key = KeyOf(key);
  e.pinnedOn = "2026-12-09";
  return TrustStore::FormatLine(e);
}

// A fresh folder per test, removed afterwards with whatever is left in it.
class TrustFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = ::testing::TempDir() + "trust_" + info->name();
    Remove();
#ifdef _WIN32
    CreateDirectoryA(folder.c_str(), nullptr);
    path = folder + "\\known_agents";
#else
    mkdir(folder.c_str(), 0700);
    path = folder + "/known_agents";
#endif
  }
  void TearDown() override { Remove(); }
  void Write(const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string Read() {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::set<std::string> Files() {
    std::set<std::string> names;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      if (found.cFileName[0] != '.') names.insert(found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
#else
    if (DIR* d = opendir(folder.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.insert(e->d_name);
      closedir(d);
    }
#endif
    return names;
  }
  void Remove() {
    for (const auto& name : Files()) {
      const std::string full = folder + "/" + name;
#ifdef _WIN32
      RemoveDirectoryA(full.c_str());
#else
      rmdir(full.c_str());
#endif
      std::remove(full.c_str());
    }
#ifdef _WIN32
    RemoveDirectoryA(folder.c_str());
#else
    rmdir(folder.c_str());
#endif
  }

  std::string folder, path;
};

TEST(TrustStoreLine, RoundTripsAndTellsCommentsFromBadLines) {
  TrustEntry e;
  e.mac = kAgent;
  e.hostName = "SERVER 01\t#x";
  e.key = KeyOf(0xAB);
  e.pinnedOn = "2026-12-09";
  const std::string line = TrustStore::FormatLine(e);
  TrustEntry back;
  ASSERT_EQ(TrustStore::ParseLine(line, back), TrustStore::LineKind::Entry) << line;
  EXPECT_EQ(back.mac, e.mac);
  EXPECT_EQ(back.hostName, "SERVER_01__x");
  EXPECT_EQ(back.key, e.key);
  for (const std::string& comment : {std::string(""), std::string("# comment"), std::string("   "),
                                     std::string("  # indented")})
    EXPECT_EQ(TrustStore::ParseLine(comment, back), TrustStore::LineKind::Comment) << comment;
  for (const std::string& bad :
       {line + " extra", line.substr(0, line.size() - 12), std::string("garbage"),
        std::string("\x01\x02"), std::string("02:00:5E:10:00 X ") + std::string(64, 'a') + " 2026-12-09",
        std::string("02:00:5E:10:00:A0 X ") + std::string(63, 'a') + "g 2026-12-09",
        std::string("02:00:5E:10:00:A0 X ") + std::string(64, 'a') + " 2026",
        std::string("02:00:5E:10:00:A0 X ") + std::string(66, 'a') + " 2026-12-09"})
    EXPECT_EQ(TrustStore::ParseLine(bad, back), TrustStore::LineKind::Bad) << bad;
}

TEST_F(TrustFile, MissingIsEmptyAndPinsSurviveAReloadReplacingEarlierOnes) {
  {
    TrustStore store(path);
    EXPECT_TRUE(store.readable());
    EXPECT_FALSE(store.Find(kAgent));
    ASSERT_EQ(store.Pin(kAgent, "SERVER01", KeyOf(1)), TrustStore::PinResult::Pinned);
    ASSERT_EQ(store.Pin(TestMac(0xA1), "SERVER02", KeyOf(1)), TrustStore::PinResult::Pinned);
    ASSERT_EQ(store.Pin(kAgent, "SERVER01", KeyOf(2)), TrustStore::PinResult::Pinned);
  }
  TrustStore again(path);
  ASSERT_TRUE(again.readable()) << again.problem();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again.Find(kAgent)->key, KeyOf(2));
  EXPECT_EQ(again.Find(TestMac(0xA1))->hostName, "SERVER02");
  // Written through a temporary file of its own, gone once renamed.
  EXPECT_EQ(Files(), (std::set<std::string>{"known_agents", "known_agents.lock"}));
}

TEST_F(TrustFile, ABadOrTruncatedLineMakesTheStoreUnreadableNamingTheLineAndIsNeverRewritten) {
  const std::string good = "# pinned keys\n" + Line(kAgent, 1) + "\r\n\n";
  const std::string full = Line(TestMac(0xA1), 2);
  for (const std::string& text :
       {good + "garbage line\n" + Line(TestMac(0xA2), 3) + "\n",  // a bad line
        good + full.substr(0, 30),                                 // cut in the middle of a line
        good + std::string("\0\0\0\0", 4) + "\n",                  // zeros a crash left
        good + full + " " + full + "\n"}) {                        // two lines run together
    Write(text);
    TrustStore store(path);
    EXPECT_FALSE(store.readable());
    EXPECT_NE(store.problem().find("line 4 of " + path), std::string::npos) << store.problem();
    EXPECT_FALSE(store.Find(kAgent)) << "an unreadable store trusts nothing, not its first lines";
    EXPECT_EQ(store.Pin(TestMac(0xA9), "NEW", KeyOf(9)), TrustStore::PinResult::Unreadable);
    EXPECT_EQ(Read(), text) << "nothing the user could still mend is dropped";
  }
  // Mended by hand: read again, the pins are back.
  Write(good + full + "\n");
  TrustStore store(path);
  EXPECT_TRUE(store.readable()) << store.problem();
  EXPECT_EQ(store.size(), 2u);
  // A complete last line without its line end is a line like any other.
  Write(good + full);
  EXPECT_TRUE(store.Load()) << store.problem();
  EXPECT_EQ(store.size(), 2u);
}

TEST_F(TrustFile, AStoreThatCannotBeReadOrIsOversizedIsRefusedNotEmptied) {
  // Something at the path that cannot be read as a file (works for root as well).
#ifdef _WIN32
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
#else
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
#endif
  {
    TrustStore store(path);
    EXPECT_FALSE(store.readable());
    EXPECT_NE(store.problem().find(path), std::string::npos);
    EXPECT_EQ(store.Pin(kAgent, "X", KeyOf(1)), TrustStore::PinResult::Unreadable);
  }
#ifdef _WIN32
  RemoveDirectoryA(path.c_str());
#else
  rmdir(path.c_str());
#endif
  // Larger than the store may be: a comment line is enough, the size alone refuses.
  Write(std::string(TrustStore::kMaxFileBytes + 1, '#'));
  TrustStore big(path);
  EXPECT_FALSE(big.readable());
  EXPECT_NE(big.problem().find("larger than"), std::string::npos) << big.problem();
  // One pinned key more than the store holds: refused, naming the line.
  std::string many;
  for (std::size_t i = 0; i <= TrustStore::kMaxEntries; ++i)
    many += Line(TestMac(static_cast<uint16_t>(i)), 1) + "\n";
  Write(many);
  TrustStore tooMany(path);
  EXPECT_FALSE(tooMany.readable());
  EXPECT_NE(tooMany.problem().find("line " + std::to_string(TrustStore::kMaxEntries + 1)),
            std::string::npos)
      << tooMany.problem();
}

TEST_F(TrustFile, WritersAtOnceLoseNoPinAndLeaveNoTemporaryFile) {
  // Each writer has its own store, as separate programs of one user do; every pin is a
  // read-modify-write that would drop the others' pins without the lock.
  constexpr int kWriters = 4, kPins = 25;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      TrustStore store(path);
      for (int i = 0; i < kPins; ++i)
        if (store.Pin(TestMac(static_cast<uint16_t>(w * 100 + i)), "H", KeyOf(static_cast<uint8_t>(w))) !=
            TrustStore::PinResult::Pinned)
          ++failures;
    });
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures.load(), 0);
  TrustStore store(path);
  ASSERT_TRUE(store.readable()) << store.problem();
  EXPECT_EQ(store.size(), static_cast<std::size_t>(kWriters * kPins));
  EXPECT_EQ(Files(), (std::set<std::string>{"known_agents", "known_agents.lock"}));
}

TEST_F(TrustFile, APathOutsideAsciiWorksAndAMissingFolderIsNotWritten) {
  // UTF-8 here; on Windows the store opens it with the wide-character calls.
  const std::string named = folder + "/J\xC3\xBCrgen \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87";
  {
    TrustStore store(named);
    ASSERT_EQ(store.Pin(kAgent, "SERVER01", KeyOf(7)), TrustStore::PinResult::Pinned);
  }
  TrustStore again(named);
  ASSERT_TRUE(again.Find(kAgent));
  EXPECT_EQ(again.Find(kAgent)->key, KeyOf(7));
#ifdef _WIN32
  // The ANSI calls of the clean-up cannot name it.
  const std::wstring wide(std::wstring(folder.begin(), folder.end()) + L"/J\u00FCrgen \u043A\u043B\u044E\u0447");
  EXPECT_TRUE(DeleteFileW(wide.c_str()));
  EXPECT_TRUE(DeleteFileW((wide + L".lock").c_str()));
#else
  std::remove(named.c_str());
  std::remove((named + ".lock").c_str());
#endif

  TrustStore unwritable(folder + "/no/such/folder/known_agents");
  EXPECT_TRUE(unwritable.readable()) << "a missing folder is a store with nothing pinned";
  EXPECT_EQ(unwritable.Pin(kAgent, "X", KeyOf(1)), TrustStore::PinResult::NotWritten);
  EXPECT_FALSE(unwritable.Find(kAgent)) << "a pin that was not written does not hold";
}

}  // namespace
}  // namespace tavi
