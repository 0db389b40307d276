#include "program/hand_over_receiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "peers/test_paths.h"
#include "platform/code_page.h"
#include "program/instance_start.h"

namespace wexmoor {
namespace {

using namespace std::chrono_literals;
using testing::TempFolder;

constexpr TextView kPrefs = u"Wexmoor.prefs";

Text T(const std::string& s) { return Utf8ToUtf16(s); }

std::string Touch(const TempFolder& folder, const std::string& name) {
  const std::string path = folder.File(name);
  std::ofstream(path) << "x";
  return path;
}

// The answer goes out just before the paths are kept: waits up to a second
// for `count` lists.
std::vector<Text> TakeAtLeast(HandOverReceiver& receiver, std::size_t count) {
  std::vector<Text> taken;
  for (int i = 0; i < 100 && taken.size() < count; ++i) {
    for (Text& paths : receiver.TakePaths()) taken.push_back(std::move(paths));
    std::this_thread::sleep_for(10ms);
  }
  return taken;
}

// Nobody takes the paths for a while (a first-start window is open): later
// starts are answered at once all the same, and the paths wait, in order,
// until the program takes them.
TEST(HandOverReceiver, AnswersLaterStartsBeforeAnyoneTakesTheirPaths) {
  TempFolder folder;
  std::ostringstream err;
  InstanceStart first = ClaimOrHandOver(T(folder.path()), kPrefs, u"", err);
  ASSERT_TRUE(first.channel);
  HandOverReceiver receiver(*first.channel);
  const std::string a = Touch(folder, "a.txt");
  const std::string b = Touch(folder, "b c.txt");
  for (const std::string& path : {a, b}) {
    std::ostringstream secondErr;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ClaimOrHandOver(T(folder.path()), kPrefs, T(path + "\r"), secondErr).exitCode,
              std::optional<int>(0))
        << secondErr.str();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  }
  EXPECT_EQ(TakeAtLeast(receiver, 2), (std::vector<Text>{T(a + "\r"), T(b + "\r")}));

  // Once stopped (the program ends), a later start is not answered by it: it
  // waits for the folder and, the lock still held, gives up.
  receiver.Stop();
  EXPECT_FALSE(first.channel->Listening());
  std::ostringstream late;
  InstanceStart third = ClaimOrHandOver(T(folder.path()), kPrefs, T(a + "\r"), late, 300ms);
  EXPECT_EQ(third.exitCode, std::optional<int>(1));
  EXPECT_TRUE(receiver.TakePaths().empty());
}

// What is kept is bounded: past the limit later starts are left unanswered
// until the program takes what waits.
TEST(HandOverReceiver, StopsAnsweringWhileTooMuchWaits) {
  TempFolder folder;
  std::optional<InstanceChannel> channel = InstanceChannel::Claim(T(folder.path()), kPrefs);
  ASSERT_TRUE(channel);
  const std::string a = Touch(folder, "a.txt");
  HandOverReceiver receiver(*channel, 1);
  EXPECT_EQ(InstanceChannel::HandOver(T(folder.path()), kPrefs, T(a + "\r"), 2000ms),
            InstanceChannel::HandOverOutcome::delivered);
  auto unanswered = std::async(std::launch::async, [&] {
    return InstanceChannel::HandOver(T(folder.path()), kPrefs, T(a + "\r"), 2000ms);
  });
  EXPECT_EQ(unanswered.wait_for(300ms), std::future_status::timeout);
  EXPECT_EQ(receiver.TakePaths().size(), 1u);
  EXPECT_EQ(unanswered.get(), InstanceChannel::HandOverOutcome::delivered) << "taken once there is room";
  EXPECT_EQ(TakeAtLeast(receiver, 1), std::vector<Text>{T(a + "\r")});
}

// A hand-over names its server or takes the running program's choice; one
// that cannot be queued is refused with the reason, and the later start ends
// with exit status 1 and that reason.
TEST(HandOverReceiver, RefusesWhatCannotBeQueuedAndSaysWhy) {
  struct Case {
    const char* what;
    std::optional<Text> chosen;  // nullopt: the program's choice is not known yet
    Text server;                 // --to
    bool pathExists;
    int exitCode;
    const char* said;
    Text queuedFor;
  };
  const Case cases[] = {
      {"named server", Text(u"Office"), u"B\u00FCro FTP", true, 0, "", u"B\u00FCro FTP"},
      {"chosen server", Text(u"Office"), u"", true, 0, "", u""},
      {"choice not known yet", std::nullopt, u"", true, 0, "", u""},
      {"no server chosen", Text(u""), u"", true, 1, "no server is chosen; name one with --to", u""},
      {"unknown name", Text(u"Office"), u"Nobody", true, 1, "no server named \"Nobody\"", u""},
      {"chosen one deleted", Text(u"Gone"), u"", true, 1, "no server named \"Gone\"", u""},
      {"nothing readable", Text(u"Office"), u"Office", false, 1, "none of the paths exists", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    std::ostringstream err;
    InstanceStart first = ClaimOrHandOver(T(folder.path()), kPrefs, u"", err);
    ASSERT_TRUE(first.channel);
    HandOverReceiver receiver(*first.channel);
    receiver.SetServerCheck([](const Text& name) { return name == u"Office" || name == u"B\u00FCro FTP"; });
    if (c.chosen) receiver.NoteChosenServer(*c.chosen);
    const std::string path = c.pathExists ? Touch(folder, "a.txt") : folder.File("missing.txt");
    std::ostringstream secondErr;
    EXPECT_EQ(ClaimOrHandOver(T(folder.path()), kPrefs, T(path + "\r"), secondErr, 5000ms, c.server).exitCode,
              std::optional<int>(c.exitCode));
    EXPECT_NE(secondErr.str().find(c.said), std::string::npos) << secondErr.str();
    std::vector<HandOverRequest> taken;
    for (int i = 0; i < 20 && taken.empty() && c.exitCode == 0; ++i) {
      taken = receiver.TakeRequests();
      std::this_thread::sleep_for(10ms);
    }
    if (c.exitCode != 0) {
      EXPECT_TRUE(receiver.TakeRequests().empty());
      continue;
    }
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].server, c.queuedFor);
    EXPECT_EQ(taken[0].paths, T(path + "\r"));
  }
}

// `wexmoor --pause` / `--resume`: the running program takes the request
// whatever its servers and the later start ends with 0; with none running, 1
// (and the folder stays free); a request the program does not know is
// refused. The program applies it as "Pause all" / "Resume all".
TEST(HandOverReceiver, PauseAndResumeReachTheRunningProgram) {
  struct Case {
    const char* what;
    bool running;
    std::string message;  // sent as it is; empty: through HandOverQueueCommand
    QueueCommand command;
    int exitCode;
    const char* said;
  };
  const Case cases[] = {
      {"pause", true, "", QueueCommand::kPause, 0, ""},
      {"resume", true, "", QueueCommand::kResume, 0, ""},
      {"none runs", false, "", QueueCommand::kPause, 1, "no Wexmoor runs with these settings"},
      {"unknown request", true, "do:frobnicate\r\r", QueueCommand::kUnknown, 1, "does not know this request"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    std::optional<InstanceChannel> channel;
    std::optional<HandOverReceiver> receiver;
    if (c.running) {
      channel = InstanceChannel::Claim(T(folder.path()), kPrefs);
      ASSERT_TRUE(channel);
      receiver.emplace(*channel);
      receiver->SetServerCheck([](const Text&) { return false; });  // no server at all
      receiver->NoteChosenServer(u"");
    }
    std::ostringstream err;
    std::string reason;
    int code = -1;
    if (c.message.empty()) {
      code = HandOverQueueCommand(T(folder.path()), kPrefs, c.command, err, 2000ms);
    } else {
      code = InstanceChannel::Send(T(folder.path()), kPrefs, c.message, 2000ms, &reason) ==
                     InstanceChannel::HandOverOutcome::delivered ? 0 : 1;
      err << reason;
    }
    EXPECT_EQ(code, c.exitCode);
    EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
    if (!c.running) {
      // Nobody holds the folder afterwards.
      EXPECT_TRUE(InstanceChannel::Claim(T(folder.path()), kPrefs));
      continue;
    }
    std::vector<HandOverRequest> taken;
    for (int i = 0; i < 50 && taken.empty() && code == 0; ++i) {
      taken = receiver->TakeRequests();
      std::this_thread::sleep_for(10ms);
    }
    if (code != 0) {
      EXPECT_TRUE(receiver->TakeRequests().empty());
      continue;
    }
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].command, c.command);
    EXPECT_TRUE(taken[0].paths.empty());
    QueuePause pause;
    pause.SetServer(u"Office", true);
    if (c.command == QueueCommand::kResume) pause.SetAll(true);
    EXPECT_FALSE(ApplyQueueCommand(taken[0].command, pause).empty());
    EXPECT_EQ(pause.All(), c.command == QueueCommand::kPause);
    EXPECT_EQ(pause.Holds(u"Office"), c.command == QueueCommand::kPause) << "resume all resumes every server";
  }
}

}  // namespace
}  // namespace wexmoor
