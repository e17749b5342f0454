#include "runtime/BrelixSpl.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {
namespace {

// What a scripted display saw, kept beyond the display's life.
struct DisplayLog {
  std::vector<TBrelixSplTexts> shown;
  std::vector<std::string> questions;
  std::vector<std::string> status_while_asking;
  int closed = 0;
};

// A display that answers from a script: the requests of successive ProcessMessages calls (then
// none) and the answers to successive questions (then No).
class ScriptedDisplay : public TBrelixSplDisplay {
 public:
  ScriptedDisplay(DisplayLog& log, std::deque<TBrelixSplRequest> requests, std::deque<bool> answers)
      : log_(log), requests_(std::move(requests)), answers_(std::move(answers)) {}

  void Show(const TBrelixSplTexts& texts) override { log_.shown.push_back(texts); }
  bool Ask(const std::string& question) override {
    log_.questions.push_back(question);
    log_.status_while_asking.push_back(log_.shown.empty() ? "" : log_.shown.back().status);
    if (answers_.empty()) return false;
    bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  TBrelixSplRequest ProcessMessages() override {
    if (requests_.empty()) return TBrelixSplRequest::None;
    TBrelixSplRequest request = requests_.front();
    requests_.pop_front();
    return request;
  }
  void Close() override { ++log_.closed; }

 private:
  DisplayLog& log_;
  std::deque<TBrelixSplRequest> requests_;
  std::deque<bool> answers_;
};

// Installs a scripted display factory for the test's lifetime and restores the previous one.
class BrelixSplTest : public ::testing::Test {
 protected:
  void Script(std::deque<TBrelixSplRequest> requests, std::deque<bool> answers = {}) {
    previous_ = SetBrelixSplDisplayFactory([this, requests, answers] {
      ++windows_;
      return std::make_unique<ScriptedDisplay>(log_, requests, answers);
    });
    installed_ = true;
  }
  void TearDown() override {
    if (installed_) SetBrelixSplDisplayFactory(previous_);
  }

  DisplayLog log_;
  int windows_ = 0;

 private:
  TBrelixSplDisplayFactory previous_;
  bool installed_ = false;
};

TEST_F(BrelixSplTest, OpensWithTheMessageTableTextsAndAnEmptyCaption) {
  Script({});
  bool result = BrelixSplDoWork([] {
    BrelixSplSetRecCount(0);
    return true;
  }, "");
  EXPECT_TRUE(result);
  ASSERT_EQ(log_.shown.size(), 2u);
  const TBrelixSplTexts& opened = log_.shown.front();
  EXPECT_EQ(opened.caption, "");
  EXPECT_EQ(opened.status_name, "Status");
  EXPECT_EQ(opened.status, "Getting data");
  EXPECT_EQ(opened.done_name, "Processed");
  EXPECT_EQ(opened.time_name, "Time");
  EXPECT_EQ(opened.speed_name, "Speed");
  // Right after the start: no rows, no time, no speed.
  const TBrelixSplTexts& counted = log_.shown.back();
  EXPECT_EQ(counted.done, "0 rows");
  EXPECT_EQ(counted.time, "0:00:00");
  EXPECT_EQ(counted.speed, "0 rows/sec");
  EXPECT_EQ(log_.closed, 1);
}

TEST_F(BrelixSplTest, StatusAndRowCountReachTheDisplayUnderTheCaption) {
  Script({});
  BrelixSplDoWork([] {
    BrelixSplSetStatus(BrelixConsts::SplStatusWriting);
    BrelixSplSetRecCount(4000);
    return false;
  }, "Sales by region");
  ASSERT_FALSE(log_.shown.empty());
  EXPECT_EQ(log_.shown.back().caption, "Sales by region");
  EXPECT_EQ(log_.shown.back().status, "Writing data");
  EXPECT_EQ(log_.shown.back().done, "4000 rows");
}

// A work that polls like the output walk: once per record, returning early on a stop.
struct PollingWork {
  int records = 10;
  int polled = 0;
  bool operator()() {
    BrelixSplSetStatus(BrelixConsts::SplStatusCopying);
    for (; polled < records; ++polled) {
      if (BrelixSplIsStop()) return false;
    }
    return true;
  }
};

TEST_F(BrelixSplTest, AConfirmedCancelStopsTheWorkAtItsNextPoll) {
  // Nothing pending at the start and at the status change; the close request comes with the
  // third poll.
  Script({TBrelixSplRequest::None, TBrelixSplRequest::None, TBrelixSplRequest::None, TBrelixSplRequest::None,
          TBrelixSplRequest::Close},
         {true});
  PollingWork work;
  EXPECT_FALSE(BrelixSplDoWork(std::ref(work), "Report"));
  // The poll that handled the request still answered false; the next one stopped the work.
  EXPECT_EQ(work.polled, 3);
  ASSERT_EQ(log_.questions, std::vector<std::string>{"Do you really want to break the process?"});
  // "Pause" only while the question was open; the work's status is back afterwards.
  EXPECT_EQ(log_.status_while_asking, std::vector<std::string>{"Pause"});
  EXPECT_EQ(log_.shown.back().status, "Copying bands");
  EXPECT_EQ(log_.closed, 1);
}

TEST_F(BrelixSplTest, RefusedCancelsLetTheWorkRunToItsEnd) {
  struct Case {
    const char* what;
    TBrelixSplRequest request;
    int questions;  // the Cancel button asks, then its close request asks once more
  };
  const Case cases[] = {
      {"close box", TBrelixSplRequest::Close, 1},
      {"cancel button", TBrelixSplRequest::Cancel, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log_ = {};
    Script({TBrelixSplRequest::None, TBrelixSplRequest::None, c.request}, {false, false});
    PollingWork work;
    EXPECT_TRUE(BrelixSplDoWork(std::ref(work), "Report"));
    EXPECT_EQ(work.polled, work.records);
    EXPECT_EQ(static_cast<int>(log_.questions.size()), c.questions);
    EXPECT_EQ(log_.status_while_asking, std::vector<std::string>(c.questions, "Pause"));
    EXPECT_EQ(log_.shown.back().status, "Copying bands");
  }
}

TEST_F(BrelixSplTest, CancelIsNotAskedAgainOnceStopped) {
  Script({TBrelixSplRequest::None, TBrelixSplRequest::Cancel, TBrelixSplRequest::Close}, {true, true});
  bool stopped = false;
  BrelixSplDoWork([&] {
    BrelixSplIsStop();  // the Cancel button: asked, Yes
    BrelixSplIsStop();  // the close box afterwards: not asked again
    stopped = BrelixSplIsStop();
    return false;
  }, "");
  EXPECT_TRUE(stopped);
  EXPECT_EQ(log_.questions.size(), 1u);
}

TEST_F(BrelixSplTest, RoutinesAreHarmlessWithoutACurrentWindow) {
  Script({});
  BrelixSplSetStatus("Getting data");
  BrelixSplSetRecCount(50);
  EXPECT_FALSE(BrelixSplIsStop());
  EXPECT_EQ(windows_, 0);
  EXPECT_TRUE(log_.shown.empty());

  // A window that has gone is no longer current.
  BrelixSplDoWork([] { return true; }, "");
  std::size_t shown = log_.shown.size();
  BrelixSplSetRecCount(50);
  EXPECT_FALSE(BrelixSplIsStop());
  EXPECT_EQ(log_.shown.size(), shown);
}

TEST(BrelixSplNoDisplay, WithoutADisplayTheWorkRunsAndCannotBeStopped) {
  TBrelixSplDisplayFactory previous = SetBrelixSplDisplayFactory({});
  bool stop_seen = true;
  bool result = BrelixSplDoWork([&] {
    BrelixSplSetStatus("Getting data");
    BrelixSplSetRecCount(10);
    stop_seen = BrelixSplIsStop();
    return true;
  }, "Report");
  SetBrelixSplDisplayFactory(previous);
  EXPECT_TRUE(result);
  EXPECT_FALSE(stop_seen);
}

TEST_F(BrelixSplTest, ErrorsOfTheWorkComeBackAsBrelixErrorsNamingTheirClass) {
  struct Case {
    std::function<void()> raise;
    const char* text;
  };
  const Case cases[] = {
      {[] { throw platform::EFileError("Cannot open file \"a.db\""); }, "EFileError. Cannot open file \"a.db\""},
      {[] { throw EBrelixError(BrelixConsts::MsgBrelix6); },
       "EBrelixError. Too many lines in the report. Max available number is 65535. "},
      {[] { throw platform::Exception("plain"); }, "Exception. plain"},
  };
  Script({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    log_.closed = 0;
    try {
      BrelixSplDoWork([&] {
        c.raise();
        return true;
      }, "");
      ADD_FAILURE() << "no error";
    } catch (const EBrelixError& e) {
      EXPECT_EQ(std::string(e.what()), c.text);
    }
    EXPECT_EQ(log_.closed, 1);
    EXPECT_FALSE(BrelixSplIsStop());
  }
}

TEST_F(BrelixSplTest, OtherExceptionsPassThroughAndStillCloseTheWindow) {
  Script({});
  EXPECT_THROW(BrelixSplDoWork([]() -> bool { throw std::logic_error("bug"); }, ""), std::logic_error);
  EXPECT_EQ(log_.closed, 1);
  BrelixSplSetStatus("after");
  EXPECT_NE(log_.shown.back().status, "after");
}

TEST(BrelixSplTexts, ElapsedTimeAndSpeed) {
  struct TimeCase {
    double seconds;
    const char* text;
  };
  const TimeCase times[] = {
      {0, "0:00:00"},     {59.4, "0:00:59"},  {59.9996, "0:01:00"},
      {3725, "1:02:05"},  {86399, "23:59:59"}, {86400 + 61, "0:01:01"},
  };
  for (const TimeCase& t : times) EXPECT_EQ(BrelixSplTimeText(t.seconds), t.text) << t.seconds;

  struct SpeedCase {
    long long rows;
    double seconds;
    long long speed;
  };
  const SpeedCase speeds[] = {
      {0, 0, 0},  {10, 0, 0},        // no time yet
      {5, 2, 2},  {7, 2, 4},         // halves go to the even neighbour
      {7, 4, 2},  {100, 3, 33},      // 1.75 and 33.3 to the nearest
      {3, 86400 + 2, 2},             // only the time within the day counts
      {1, 86400, 0},
  };
  for (const SpeedCase& s : speeds)
    EXPECT_EQ(BrelixSplSpeed(s.rows, s.seconds), s.speed) << s.rows << " rows in " << s.seconds << " s";
}

}  // namespace
}  // namespace brelix
