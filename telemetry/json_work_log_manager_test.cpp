#include "telemetry/json_work_log_manager.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "storage/file_exception.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/testing/test_folder.h"
#include "telemetry/event_kind.h"
#include "telemetry/testing/described_work.h"
#include "telemetry/track_event_work.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kFixedTime = 1380647109;  // 2013-10-01 17:05:09 UTC
const char kFixedName[] = "Log.2013.10.01.17.05.09.txt";
const char kFixedPrefix[] = "[2013-10-01 17:05:09] ";
constexpr std::uint32_t kDefaultMask = static_cast<std::uint32_t>(-9);
const char kLogs[] = "Corvane Technologies/Skelmir/logs";

// A fresh folder that stands in for the temporary folder while the test runs.
class ScopedTempFolder {
 public:
  fs::path path() const { return folder_.path(); }
  fs::path logs() const { return path() / kLogs; }

 private:
  TestFolder folder_;
  ScopedTmpdir tmpdir_{folder_.path()};
};

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

// The files of the logs folder, by name.
std::vector<std::string> LogFiles(const fs::path& logs) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(logs, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines of the one log file, each with its line feed.
std::vector<std::string> LogLines(const fs::path& logs) {
  const auto files = LogFiles(logs);
  EXPECT_EQ(files.size(), 1u);
  std::vector<std::string> lines;
  if (files.size() != 1) return lines;
  const std::string text = ReadFile(logs / files[0]);
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) {
      lines.push_back(text.substr(begin));
      break;
    }
    lines.push_back(text.substr(begin, end + 1 - begin));
    begin = end + 1;
  }
  return lines;
}

// The JSON half of each line, sorted: the two log threads may write in either order.
std::multiset<std::string> JsonOfLines(const std::vector<std::string>& lines) {
  std::multiset<std::string> json;
  for (const std::string& line : lines) json.insert(line.substr(line.find("] ") + 2));
  return json;
}

void PostEvent(EventManager& log, std::uint32_t kind, const std::string& name) {
  auto event = log.CreateEventWork(kind);
  event->GetTree().put("event", name);
  log.PostEvent(event);
}

LogManager::Clock FixedClock() {
  return [] { return kFixedTime; };
}

TEST(JsonWorkLogManagerTest, NamesFileAndPrefixesLinesInUtc) {
  ScopedTempFolder temp;
  ScopedTimeZone zone("XYZ-5");  // five hours east of UTC, whatever tzdata holds
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files, FixedClock());
    PostEvent(log, EventKind::Transfer, "Start");
  }
  EXPECT_EQ(LogFiles(temp.logs()), std::vector<std::string>{kFixedName});
  EXPECT_EQ(ReadFile(temp.logs() / kFixedName),
            std::string(kFixedPrefix) + "{\"event\":\"Start\"}\n");
  EXPECT_EQ(fs::status(temp.logs()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(JsonWorkLogManagerTest, WritesOneLinePerEventWithTheSystemClock) {
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    auto event = log.CreateEventWork(EventKind::Transfer);
    event->GetTree().put("event", "Start");
    event->GetTree().put("params.destPath", "a\nb\r\nc");
    log.PostEvent(event);
    PostEvent(log, EventKind::Transfer, "Pause");
  }
  const auto files_written = LogFiles(temp.logs());
  ASSERT_EQ(files_written.size(), 1u);
  EXPECT_TRUE(std::regex_match(files_written[0],
                               std::regex(R"(Log\.\d{4}\.\d\d\.\d\d\.\d\d\.\d\d\.\d\d\.txt)")));
  const auto lines = LogLines(temp.logs());
  ASSERT_EQ(lines.size(), 2u);
  const std::regex line(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \{[^\n\r]*\}\n)");
  for (const auto& text : lines) EXPECT_TRUE(std::regex_match(text, line)) << text;
  EXPECT_EQ(JsonOfLines(lines),
            (std::multiset<std::string>{
                "{\"event\":\"Start\",\"params\":{\"destPath\":\"a\\nb\\r\\nc\"}}\n",
                "{\"event\":\"Pause\"}\n"}));
}

TEST(JsonWorkLogManagerTest, MaskChoosesTheKindsWritten) {
  const std::uint32_t kinds[] = {1, 2, 4, 8, 18, 20, 24};
  struct Case {
    std::uint32_t mask;
    std::set<std::uint32_t> written;
  };
  const Case cases[] = {
      {kDefaultMask, {1, 2, 4, 18, 20, 24}},
      {0xFFFFFFFF, {1, 2, 4, 8, 18, 20, 24}},
      {1, {1}},
      {2, {2, 18}},
      {EventKind::Important, {18, 20, 24}},
      {0, {}},
  };
  for (const Case& c : cases) {
    ScopedTempFolder temp;
    PosixSharedFileFactory files;
    {
      JsonWorkLogManager log(c.mask, kLogs, &files);
      for (std::uint32_t kind : kinds) PostEvent(log, kind, std::to_string(kind));
    }
    if (c.written.empty()) {
      EXPECT_TRUE(LogFiles(temp.logs()).empty()) << "a run that writes nothing leaves no file";
      continue;
    }
    std::set<std::uint32_t> written;
    for (const auto& line : LogLines(temp.logs())) {
      std::smatch match;
      ASSERT_TRUE(std::regex_search(line, match, std::regex("\"event\":\"(\\d+)\"")));
      written.insert(std::stoul(match[1]));
    }
    EXPECT_EQ(written, c.written) << "mask " << c.mask;
  }
}

TEST(JsonWorkLogManagerTest, LogsCompletionsAndRetriesOfObservedWorks) {
  const std::string retry =
      "{\"event\":\"OnSimpleWorkRetry\",\"params\":{\"name\":\"fetch\","
      "\"workStatus\":{\"result\":\"3\",\"retry\":\"true\"}}}\n";
  const std::string complete =
      "{\"event\":\"OnWorkComplete\",\"params\":{\"name\":\"fetch\","
      "\"workStatus\":{\"result\":\"0\",\"retry\":\"false\"}}}\n";
  struct Case {
    std::uint32_t mask;
    std::multiset<std::string> lines;
  };
  const Case cases[] = {
      {kDefaultMask, {retry, retry}},  // a plain completion (8) is left out
      {0xFFFFFFFF, {retry, retry, complete}},
      {EventKind::WorkComplete, {complete}},
  };
  for (const Case& c : cases) {
    ScopedTempFolder temp;
    PosixSharedFileFactory files;
    {
      JsonWorkLogManager log(c.mask, kLogs, &files);
      auto work = std::make_shared<DescribedWork>("fetch");
      work->SetScript({WorkResult::RetryableError, WorkResult::RetryableError, WorkResult::Success},
                      2);
      work->AddRetryCallback(&log);
      work->AddCompleteCallback(&log);
      work->NotifyComplete(work->Run());
    }
    EXPECT_EQ(JsonOfLines(LogLines(temp.logs())), c.lines) << "mask " << c.mask;
  }
}

// Lets a test hold the log's first file creation until it says so.
class GatedFileFactory : public PosixSharedFileFactory {
 public:
  std::shared_ptr<SharedFile> Create(const std::string& folder, const std::string& file_name,
                                     SharedFileOpenMode mode, uint64_t lower,
                                     uint64_t upper) override {
    if (!gated_.exchange(true)) {
      entered_.set_value();
      release_.get_future().wait();
    }
    return PosixSharedFileFactory::Create(folder, file_name, mode, lower, upper);
  }
  void WaitUntilEntered() { entered_.get_future().wait(); }
  void Release() { release_.set_value(); }

 private:
  std::atomic<bool> gated_{false};
  std::promise<void> entered_;
  std::promise<void> release_;
};

// A finished or retried work is described when it reports, not later on a log thread,
// and the log keeps neither the work nor its tree alive.
TEST(JsonWorkLogManagerTest, DescribesAWorkWhenItReports) {
  for (const bool retry : {false, true}) {
    SCOPED_TRACE(retry ? "retry" : "completion");
    ScopedTempFolder temp;
    GatedFileFactory files;
    std::weak_ptr<DescribedWork> watched;
    {
      JsonWorkLogManager log(kDefaultMask, kLogs, &files);
      // Both log threads busy: one creating the file, the other waiting for it.
      PostEvent(log, EventKind::Transfer, "first");
      files.WaitUntilEntered();
      PostEvent(log, EventKind::Transfer, "second");

      auto work = std::make_shared<DescribedWork>("as reported", "true");
      watched = work;
      if (retry) {
        WorkStatus status(WorkResult::RetryableError);
        status.retry = true;
        log.OnSimpleWorkRetry(work, status);
      } else {
        log.OnWorkComplete(work, WorkStatus(WorkResult::Success));
      }
      EXPECT_EQ(work->DescribeThread(), std::this_thread::get_id());
      work->SetName("changed afterwards");
      work.reset();
      EXPECT_TRUE(watched.expired()) << "the queued entry keeps the work alive";
      files.Release();
    }
    const std::string entry =
        retry ? "{\"event\":\"OnSimpleWorkRetry\",\"params\":{\"name\":\"as reported\","
                "\"important\":\"true\",\"workStatus\":{\"result\":\"3\",\"retry\":\"true\"}}}"
                "\n"
              : "{\"event\":\"OnWorkComplete\",\"params\":{\"name\":\"as reported\","
                "\"important\":\"true\",\"workStatus\":{\"result\":\"0\",\"retry\":\"false\"}}}"
                "\n";
    EXPECT_EQ(
        JsonOfLines(LogLines(temp.logs())),
        (std::multiset<std::string>{"{\"event\":\"first\"}\n", "{\"event\":\"second\"}\n", entry}));
  }
}

// An entry the mask refuses is dropped when its work reports, not after waiting in the
// queue: a queued entry holds its status, payload included, until a log thread takes it.
TEST(JsonWorkLogManagerTest, EntriesTheMaskRefusesAreNeverQueued) {
  const struct {
    const char* name;
    const char* important;  // null: not set
    WorkResult result;
    bool queued;
  } cases[] = {
      {"plain completion", nullptr, WorkResult::Success, false},
      {"important completion", "true", WorkResult::Success, true},
      {"failure", nullptr, WorkResult::Error, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempFolder temp;
    GatedFileFactory files;
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    // Both log threads busy: one creating the file, the other waiting for it.
    PostEvent(log, EventKind::Transfer, "first");
    files.WaitUntilEntered();
    PostEvent(log, EventKind::Transfer, "second");

    auto work = c.important ? std::make_shared<DescribedWork>("w", c.important)
                            : std::make_shared<DescribedWork>("w");
    const auto payload = std::make_shared<WorkErrorData>("payload");
    log.OnWorkComplete(work, WorkStatus(c.result, payload));
    EXPECT_EQ(payload.use_count() > 1, c.queued);
    files.Release();
  }
}

TEST(JsonWorkLogManagerTest, AWorkThatCannotBeDescribedIsNotLogged) {
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(0xFFFFFFFF, kLogs, &files);
    auto work = std::make_shared<DescribedWork>("w");
    work->ThrowOnDescribe();
    EXPECT_NO_THROW(log.OnWorkComplete(work, WorkStatus(WorkResult::Error)));
    EXPECT_NO_THROW(log.OnSimpleWorkRetry(work, WorkStatus(WorkResult::RetryableError)));
    PostEvent(log, EventKind::Transfer, "after");
  }
  EXPECT_EQ(JsonOfLines(LogLines(temp.logs())),
            (std::multiset<std::string>{"{\"event\":\"after\"}\n"}));
}

TEST(JsonWorkLogManagerTest, DestructionWritesEverythingQueued) {
  constexpr int kEvents = 300;
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    for (int i = 0; i < kEvents; ++i) PostEvent(log, EventKind::Transfer, std::to_string(i));
    // A completion's entry is posted by a log thread while the sink drains.
    log.OnWorkComplete(std::make_shared<DescribedWork>("last"), WorkStatus(WorkResult::Error));
  }
  const auto lines = LogLines(temp.logs());
  EXPECT_EQ(lines.size(), kEvents + 1u);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("\"last\"") != l.npos; }),
            1);
}

TEST(JsonWorkLogManagerTest, LinesFromManyThreadsStayWhole) {
  constexpr int kPerThread = 500;
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    auto send = [&log](const std::string& tag) {
      for (int i = 0; i < kPerThread; ++i)
        PostEvent(log, EventKind::Transfer, tag + std::to_string(i));
    };
    std::thread a(send, "a"), b(send, "b");
    a.join();
    b.join();
  }
  const auto lines = LogLines(temp.logs());
  ASSERT_EQ(lines.size(), 2u * kPerThread);
  const std::regex line(R"(\[[0-9: -]{19}\] \{"event":"[ab]\d+"\}\n)");
  std::set<std::string> distinct;
  for (const auto& text : lines) {
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    distinct.insert(text.substr(22));
  }
  EXPECT_EQ(distinct.size(), 2u * kPerThread);
}

// An existing name moves the log to the next one, a bounded number of times.
TEST(JsonWorkLogManagerTest, TakesTheNextFreeNameWithinALimit) {
  struct Case {
    int taken;  // names already there: "…txt", "…txt.1", …
    std::optional<std::string> written_to;
  };
  const Case cases[] = {
      {1, std::string(kFixedName) + ".1"},
      {3, std::string(kFixedName) + ".3"},
      {LogManager::kMaxLogFileNames, std::nullopt},
  };
  for (const Case& c : cases) {
    ScopedTempFolder temp;
    fs::create_directories(temp.logs());
    for (int n = 0; n < c.taken; ++n) {
      std::ofstream(temp.logs() / (std::string(kFixedName) + (n ? "." + std::to_string(n) : "")));
    }
    PosixSharedFileFactory files;
    {
      JsonWorkLogManager log(kDefaultMask, kLogs, &files, FixedClock());
      PostEvent(log, EventKind::Transfer, "a");
      PostEvent(log, EventKind::Transfer, "b");
    }
    std::vector<std::string> written;
    for (const auto& name : LogFiles(temp.logs())) {
      if (fs::file_size(temp.logs() / name) > 0) written.push_back(name);
    }
    if (c.written_to) {
      ASSERT_EQ(written, std::vector<std::string>{*c.written_to}) << "taken " << c.taken;
      EXPECT_EQ(ReadFile(temp.logs() / *c.written_to).size(),
                2 * (sizeof kFixedPrefix - 1) + 2 * std::string("{\"event\":\"a\"}\n").size());
    } else {
      EXPECT_TRUE(written.empty());
      EXPECT_EQ(LogFiles(temp.logs()).size(), static_cast<std::size_t>(c.taken));
    }
  }
}

// Refuses every file and counts the attempts.
class RefusingFileFactory : public PosixSharedFileFactory {
 public:
  std::shared_ptr<SharedFile> Create(const std::string&, const std::string&, SharedFileOpenMode,
                                     uint64_t, uint64_t) override {
    ++creates;
    throw FileInaccessibleException();
  }
  std::atomic<int> creates{0};
};

// Only a name that is taken moves the log to the next name: a folder that refuses the
// file is asked once per line, not once per possible name.
TEST(JsonWorkLogManagerTest, ARefusedFileIsNotRetriedUnderOtherNames) {
  ScopedTempFolder temp;
  RefusingFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    log.Log(EventKind::Transfer, "{}\n");
    EXPECT_EQ(files.creates, 1);
    log.Log(EventKind::Transfer, "{}\n");  // a later line tries again
    EXPECT_EQ(files.creates, 2);
  }
}

// Neither a hang nor a crash when the logs folder cannot be made or is not this user's
// alone; nothing is written into it.
TEST(JsonWorkLogManagerTest, AnUnusableLogsFolderOnlyLosesLines) {
  enum class Obstacle { FileInTheWay, LinkInTheWay, WritableByOthers };
  for (Obstacle obstacle :
       {Obstacle::FileInTheWay, Obstacle::LinkInTheWay, Obstacle::WritableByOthers}) {
    ScopedTempFolder temp;
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(temp.logs().parent_path());
    if (obstacle == Obstacle::FileInTheWay) {
      std::ofstream(temp.logs()) << "not a folder";
    } else if (obstacle == Obstacle::LinkInTheWay) {
      fs::create_directory_symlink(elsewhere, temp.logs());
    } else {
      fs::create_directory(temp.logs());
      fs::permissions(temp.logs(), fs::perms::all);
    }
    PosixSharedFileFactory files;
    {
      JsonWorkLogManager log(kDefaultMask, kLogs, &files);
      for (int i = 0; i < 3; ++i) PostEvent(log, EventKind::Transfer, "lost");
      log.Log(EventKind::Transfer, "{}\n");
    }
    EXPECT_TRUE(fs::is_empty(elsewhere));
    if (obstacle == Obstacle::WritableByOthers) {
      EXPECT_TRUE(fs::is_empty(temp.logs()));
    }
    if (obstacle == Obstacle::FileInTheWay) {
      EXPECT_EQ(ReadFile(temp.logs()), "not a folder");
    }
  }
}

// Lines of 1 MiB each, prefix and line feed included: a file holds four, and lines of works
// only three, so that a file failing works have filled still tells how the transfer
// ended. A line that would pass its bound is lost whole; a later one that fits is written.
TEST(JsonWorkLogManagerTest, AFileHoldsFourMebibytesOfWholeLinesTheLastForTransferEvents) {
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  const std::string text(1024 * 1024 - 23, 'x');
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files, FixedClock());
    for (int i = 0; i < 3; ++i) log.Log(EventKind::WorkRetry, text + "\n");
    log.Log(EventKind::WorkError, "{}\n");
    log.Log(EventKind::Transfer, text + "more\n");
    log.Log(EventKind::Transfer, text + "\n");
    log.Log(EventKind::Transfer, "{}\n");
  }
  EXPECT_EQ(fs::file_size(temp.logs() / kFixedName), 4u * 1024 * 1024);
  const auto lines = LogLines(temp.logs());
  EXPECT_EQ(lines.size(), 4u);
  for (const std::string& line : lines) EXPECT_EQ(line, kFixedPrefix + text + "\n");
}

TEST(JsonWorkLogManagerTest, AnEventThatIsNotJsonWritesNoLine) {
  ScopedTempFolder temp;
  PosixSharedFileFactory files;
  {
    JsonWorkLogManager log(kDefaultMask, kLogs, &files);
    auto bad = log.CreateEventWork(EventKind::Transfer);
    bad->GetTree().put_value("root value");
    EXPECT_EQ(bad->ExecuteTask().result, WorkResult::Error);
    log.PostEvent(bad);
    PostEvent(log, EventKind::Transfer, "good");
  }
  EXPECT_EQ(JsonOfLines(LogLines(temp.logs())),
            (std::multiset<std::string>{"{\"event\":\"good\"}\n"}));
}

}  // namespace
}  // namespace zarn
