#include "transfer/standard_transfer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "storage/path_helpers.h"
#include "transfer/disk_space.h"
#include "transfer/standard_transfer_data.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/node_list_status_data.h"
#include "transfer/works/package_status_data.h"
#include "work/work_error_data.h"
#include "work/work_status.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {
namespace {

using fakes::FakeFile;
using fakes::FakeNode;
using fakes::FakeNodeList;
using fakes::FakePackage;

TransferParams DefaultParams() {
  TransferParams params;
  params.transferId = "t";
  params.partnerId = "p";
  params.packageId = "k";
  return params;
}

TransferBehavior MakeBehavior(const TransferConfig& config, SharedFileFactory* files,
                              EventManager* analytics, WorkLogManager* log) {
  TransferBehavior behavior(config);
  behavior.sharedFileFactory = files;
  behavior.analyticsManager = analytics;
  behavior.logManager = log;
  return behavior;
}

// A StandardTransfer over a scripted workflow, with recording sinks; the works' reports
// are delivered by hand through the transfer's work interface.
class Rig {
 public:
  explicit Rig(const TransferParams& params = DefaultParams())
      : behavior(MakeBehavior(config, &files, &analytics, &log)),
        package(std::make_shared<FakePackage>(
            "p", "k", "2.0",
            FileManifestList{std::make_shared<FakeFile>("run.exe", 100),
                             std::make_shared<FakeFile>("data/a.bin", 50)},
            "run.exe")),
        nodeList(std::make_shared<FakeNodeList>(NodeManifestList{
            std::make_shared<FakeNode>("n1:80"), std::make_shared<FakeNode>("n2:80")})),
        transfer(std::make_shared<StandardTransfer>(params, behavior, &workflows)) {}

  std::shared_ptr<TransferWorkInterface> Data() { return transfer->GetData(); }
  fakes::ScriptedWorkflow& Workflow() { return workflows.Last(); }
  TransferStatusImpl& Status() {
    return *std::dynamic_pointer_cast<TransferStatusImpl>(Data()->GetProgressUpdater());
  }

  void AcquirePackage(std::shared_ptr<PackageManifest> p = nullptr) {
    Data()->GetPackageAcquireCallback()->OnWorkComplete(
        nullptr, WorkStatus(WorkResult::Success, PackageStatusData::Create(p ? p : package)));
  }
  void AcquireNodeList() {
    Data()->GetNodeListAcquireCallback()->OnWorkComplete(
        nullptr, WorkStatus(WorkResult::Success, NodeListStatusData::Create(nodeList)));
  }
  void CompleteInitialization() {
    Data()->GetInitializeCallback()->OnWorkComplete(nullptr, WorkStatus(WorkResult::Success));
  }
  void CompleteRoot(const WorkStatus& status) {
    Data()->GetWorkCompleteCallback()->OnWorkComplete(nullptr, status);
  }
  void ReportRetryable(TransferError error = TransferError::Network) {
    Data()->GetRetryableErrorCallback()->OnWorkflowRetryableError(
        workflows.made.back(), nullptr,
        WorkStatus(WorkResult::RetryableError, MakeTransferErrorData(error, "down")));
  }
  void CountEveryByte() {
    Status().AddCompleted(150);
    Status().AddVerified(150);
    Status().AddDownloaded(150);
  }

  void DriveTo(TransferState state) {
    switch (state) {
      case TransferState::InitializingPaused:
        transfer->Initialize();
        transfer->Pause();
        break;
      case TransferState::Initialized:
        Initialized();
        break;
      case TransferState::Transferring:
        Initialized();
        transfer->Start("/dest");
        break;
      case TransferState::Paused:
        DriveTo(TransferState::Transferring);
        transfer->Pause();
        break;
      case TransferState::Suspended:
        DriveTo(TransferState::Transferring);
        transfer->Suspend();
        break;
      case TransferState::Completed:
        DriveTo(TransferState::Transferring);
        CountEveryByte();
        CompleteRoot(WorkStatus(WorkResult::Success));
        break;
      case TransferState::Canceled:
        transfer->Cancel(false);
        break;
      default:
        break;
    }
    ASSERT_EQ(transfer->GetStatus().state, state);
    Clear();
  }
  void Clear() {
    log.Clear();
    analytics.Clear();
  }
  std::vector<std::string> Events() const { return log.Events(); }

  TransferConfig config;
  fakes::RecordingAnalytics analytics;
  fakes::RecordingLog log;
  fakes::RecordingFileFactory files;
  fakes::ScriptedWorkflowFactory workflows;
  TransferBehavior behavior;
  std::shared_ptr<FakePackage> package;
  std::shared_ptr<FakeNodeList> nodeList;
  std::shared_ptr<StandardTransfer> transfer;

 private:
  void Initialized() {
    transfer->Initialize();
    AcquirePackage();
    AcquireNodeList();
    CompleteInitialization();
  }
};

enum class Op { Initialize, Start, Cancel, Pause, Resume, Retry, Suspend, Restore };
enum class Pending { None, Retryable, Fatal };

const char* Name(Op op) {
  static const char* names[] = {"Initialize", "Start", "Cancel",  "Pause",
                                "Resume",     "Retry", "Suspend", "Restore"};
  return names[static_cast<int>(op)];
}

TransferStatus Apply(Transfer& transfer, Op op) {
  switch (op) {
    case Op::Initialize:
      return transfer.Initialize();
    case Op::Start:
      return transfer.Start("/dest");
    case Op::Cancel:
      return transfer.Cancel(false);
    case Op::Pause:
      return transfer.Pause();
    case Op::Resume:
      return transfer.Resume();
    case Op::Retry:
      return transfer.Retry();
    case Op::Suspend:
      return transfer.Suspend();
    case Op::Restore:
      return transfer.Restore();
  }
  return TransferStatus();
}

// The whole machine for the public operations: every state, with no error, with a
// retryable error pending and with a fatal error, against every operation.
TEST(StandardTransferTest, StateByOperationTable) {
  using S = TransferState;
  using E = TransferError;
  struct Row {
    S from;
    Pending pending;
    Op op;
    S to;
    const char* event;  // "" when none fires
    E error;
  };
  const Row rows[] = {
      {S::Initializing, Pending::None, Op::Initialize, S::Initializing, "Initialize", E::None},
      {S::Initializing, Pending::None, Op::Start, S::Initializing, "", E::None},
      {S::Initializing, Pending::None, Op::Cancel, S::Canceled, "Cancel", E::None},
      {S::Initializing, Pending::None, Op::Pause, S::InitializingPaused, "Pause", E::None},
      {S::Initializing, Pending::None, Op::Resume, S::Initializing, "", E::None},
      {S::Initializing, Pending::None, Op::Retry, S::Initializing, "", E::None},
      {S::Initializing, Pending::None, Op::Suspend, S::Canceled, "Cancel", E::None},
      {S::Initializing, Pending::None, Op::Restore, S::Initializing, "", E::None},

      {S::InitializingPaused, Pending::None, Op::Initialize, S::InitializingPaused, "", E::None},
      {S::InitializingPaused, Pending::None, Op::Start, S::InitializingPaused, "", E::None},
      {S::InitializingPaused, Pending::None, Op::Cancel, S::Canceled, "Cancel", E::None},
      {S::InitializingPaused, Pending::None, Op::Pause, S::InitializingPaused, "", E::None},
      {S::InitializingPaused, Pending::None, Op::Resume, S::Initializing, "Resume", E::None},
      {S::InitializingPaused, Pending::None, Op::Suspend, S::Canceled, "Cancel", E::None},
      {S::InitializingPaused, Pending::None, Op::Restore, S::InitializingPaused, "", E::None},
      {S::InitializingPaused, Pending::None, Op::Retry, S::InitializingPaused, "", E::None},

      {S::Initialized, Pending::None, Op::Initialize, S::Initialized, "", E::None},
      {S::Initialized, Pending::None, Op::Start, S::Transferring, "Start", E::None},
      {S::Initialized, Pending::None, Op::Cancel, S::Canceled, "Cancel", E::None},
      {S::Initialized, Pending::None, Op::Pause, S::Initialized, "", E::None},
      {S::Initialized, Pending::None, Op::Resume, S::Initialized, "", E::None},
      {S::Initialized, Pending::None, Op::Suspend, S::Canceled, "Cancel", E::None},
      {S::Initialized, Pending::None, Op::Restore, S::Initialized, "", E::None},
      {S::Initialized, Pending::None, Op::Retry, S::Initialized, "", E::None},

      {S::Transferring, Pending::None, Op::Initialize, S::Transferring, "", E::None},
      {S::Transferring, Pending::None, Op::Start, S::Transferring, "", E::None},
      {S::Transferring, Pending::None, Op::Cancel, S::Canceled, "Cancel", E::None},
      {S::Transferring, Pending::None, Op::Pause, S::Paused, "Pause", E::None},
      {S::Transferring, Pending::None, Op::Resume, S::Transferring, "", E::None},
      {S::Transferring, Pending::None, Op::Retry, S::Transferring, "", E::None},
      {S::Transferring, Pending::None, Op::Suspend, S::Suspended, "Suspend", E::None},
      {S::Transferring, Pending::None, Op::Restore, S::Transferring, "", E::None},

      {S::Paused, Pending::None, Op::Start, S::Paused, "", E::None},
      {S::Paused, Pending::None, Op::Cancel, S::Canceled, "Cancel", E::None},
      {S::Paused, Pending::None, Op::Pause, S::Paused, "", E::None},
      {S::Paused, Pending::None, Op::Resume, S::Transferring, "Resume", E::None},
      {S::Paused, Pending::None, Op::Suspend, S::Suspended, "Suspend", E::None},
      {S::Paused, Pending::None, Op::Restore, S::Paused, "", E::None},
      {S::Paused, Pending::None, Op::Initialize, S::Paused, "", E::None},
      {S::Paused, Pending::None, Op::Retry, S::Paused, "", E::None},

      {S::Suspended, Pending::None, Op::Initialize, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Start, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Cancel, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Pause, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Resume, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Suspend, S::Suspended, "", E::None},
      {S::Suspended, Pending::None, Op::Restore, S::Initializing, "Restore", E::None},
      {S::Suspended, Pending::None, Op::Retry, S::Suspended, "", E::None},

      {S::Completed, Pending::None, Op::Start, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Cancel, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Pause, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Suspend, S::Suspended, "", E::None},
      {S::Completed, Pending::None, Op::Restore, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Initialize, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Resume, S::Completed, "", E::None},
      {S::Completed, Pending::None, Op::Retry, S::Completed, "", E::None},

      {S::Canceled, Pending::None, Op::Initialize, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Cancel, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Resume, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Suspend, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Restore, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Start, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Pause, S::Canceled, "", E::None},
      {S::Canceled, Pending::None, Op::Retry, S::Canceled, "", E::None},

      // A retryable error refuses Initialize, Start and Restore; Retry clears it.
      {S::Initializing, Pending::Retryable, Op::Initialize, S::Initializing, "", E::Network},
      {S::Initialized, Pending::Retryable, Op::Start, S::Initialized, "", E::Network},
      {S::Transferring, Pending::Retryable, Op::Cancel, S::Canceled, "Cancel", E::Network},
      {S::Transferring, Pending::Retryable, Op::Pause, S::Paused, "Pause", E::Network},
      {S::Paused, Pending::Retryable, Op::Resume, S::Transferring, "Resume", E::Network},
      {S::Transferring, Pending::Retryable, Op::Retry, S::Transferring, "Retry", E::None},
      {S::Transferring, Pending::Retryable, Op::Suspend, S::Suspended, "Suspend", E::None},

      // A fatal error refuses every transition.
      {S::Transferring, Pending::Fatal, Op::Initialize, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Start, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Cancel, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Pause, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Resume, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Retry, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Suspend, S::Transferring, "", E::Network},
      {S::Transferring, Pending::Fatal, Op::Restore, S::Transferring, "", E::Network},
  };
  for (const Row& row : rows) {
    const std::string label = std::string(Name(row.op)) + " from state " +
                              std::to_string(ToNumber(row.from)) + " pending " +
                              std::to_string(static_cast<int>(row.pending));
    Rig rig;
    rig.DriveTo(row.from);
    if (row.pending == Pending::Retryable) rig.ReportRetryable();
    if (row.pending == Pending::Fatal) {
      rig.CompleteRoot(
          WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::Network, "down")));
    }
    rig.Clear();

    TransferStatus result;
    EXPECT_NO_THROW(result = Apply(*rig.transfer, row.op)) << label;
    EXPECT_EQ(result.state, row.to) << label;
    EXPECT_EQ(result.error, row.error) << label;
    EXPECT_EQ(rig.transfer->GetStatus().state, row.to) << label;
    const std::vector<std::string> events = rig.Events();
    if (*row.event) {
      EXPECT_EQ(events, std::vector<std::string>{row.event}) << label;
    } else {
      EXPECT_TRUE(events.empty()) << label << ": " << events.front();
    }
  }
}

TEST(StandardTransferTest, InitializeFiresOnlyOnce) {
  Rig rig;
  rig.transfer->Initialize();
  rig.transfer->Initialize();
  EXPECT_EQ(rig.Events(), std::vector<std::string>{"Initialize"});
  EXPECT_EQ(rig.Workflow().starts, 2);
}

TEST(StandardTransferTest, StartNeedsOneDestinationThatAgrees) {
  const struct {
    const char* stored;
    const char* given;
    bool accepted;
    const char* destPath;
  } cases[] = {
      {"?", "?", false, "?"},  {"?", "/a", true, "/a"},  {"/a", "/b", false, "/a"},
      {"/a", "?", true, "/a"}, {"/a", "/a", true, "/a"},
  };
  for (const auto& c : cases) {
    TransferParams params = DefaultParams();
    params.destPath = c.stored;
    Rig rig(params);
    rig.DriveTo(TransferState::Initialized);
    const TransferStatus status = rig.transfer->Start(c.given);
    EXPECT_EQ(status.state, c.accepted ? TransferState::Transferring : TransferState::Initialized)
        << c.stored << " " << c.given;
    EXPECT_EQ(status.destPath, c.destPath) << c.stored << " " << c.given;
  }
}

TEST(StandardTransferTest, SuspendStartsFreshDataAndReportsTheOldRun) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  std::shared_ptr<TransferWorkInterface> old = rig.Data();
  rig.Status().AddDownloaded(1000);
  rig.Status().GetActiveTime().Add(2500);
  rig.Status().AddCompleted(150);
  rig.Status().AddVerified(150);

  const TransferStatus status = rig.transfer->Suspend();
  EXPECT_EQ(status.state, TransferState::Suspended);
  EXPECT_EQ(status.error, TransferError::None);
  EXPECT_EQ(status.downloadedBytes, 0u);
  EXPECT_EQ(status.completedBytes, 0u);
  EXPECT_EQ(status.transferId, "t");
  EXPECT_TRUE(rig.Data()->GetParams().suspended);
  bool reported = false;
  for (const auto& post : rig.analytics.Posts()) {
    if (post.kind != 32) continue;
    reported = true;
    EXPECT_NE(post.json.find("\"status\":\"suspended\",\"transferBytes\":\"1000\","
                             "\"duration\":\"2.5\""),
              std::string::npos)
        << post.json;
  }
  EXPECT_TRUE(reported);

  // The old run's works are cut off: their reports change nothing and fire nothing.
  rig.Clear();
  old->GetWorkCompleteCallback()->OnWorkComplete(nullptr, WorkStatus(WorkResult::Success));
  old->GetRetryableErrorCallback()->OnWorkflowRetryableError(
      rig.workflows.made.back(), nullptr,
      WorkStatus(WorkResult::RetryableError,
                 MakeTransferErrorData(TransferError::Network, "late")));
  old->TrackFile("late.bin");
  EXPECT_TRUE(rig.Events().empty());
  EXPECT_EQ(rig.transfer->GetStatus().state, TransferState::Suspended);
  EXPECT_EQ(rig.transfer->GetStatus().error, TransferError::None);

  // Restore runs a new workflow from the beginning.
  const TransferStatus restored = rig.transfer->Restore();
  EXPECT_EQ(restored.state, TransferState::Initializing);
  ASSERT_EQ(rig.workflows.made.size(), 2u);
  EXPECT_EQ(rig.Workflow().starts, 1);
}

// Running works keep the tree, and with it the work interface, after the transfer is gone.
// Their reports must not touch the destroyed transfer (AddressSanitizer shows any access).
TEST(StandardTransferTest, ReportsAfterTheTransferIsGoneTouchNothing) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  std::shared_ptr<TransferWorkInterface> works = rig.Data();
  std::shared_ptr<Workflow> tree = rig.workflows.made.back();
  rig.transfer.reset();
  rig.Clear();

  works->TrackFile("late.bin");
  works->GetPackageAcquireCallback()->OnWorkComplete(
      nullptr, WorkStatus(WorkResult::Success, PackageStatusData::Create(rig.package)));
  works->GetNodeListAcquireCallback()->OnWorkComplete(
      nullptr, WorkStatus(WorkResult::Success, NodeListStatusData::Create(rig.nodeList)));
  works->GetInitializeCallback()->OnWorkComplete(nullptr, WorkStatus(WorkResult::Success));
  works->GetWorkCompleteCallback()->OnWorkComplete(
      nullptr, WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::DiskFull, "x")));
  works->GetRetryableErrorCallback()->OnWorkflowRetryableError(
      tree, nullptr,
      WorkStatus(WorkResult::RetryableError,
                 MakeTransferErrorData(TransferError::Network, "late")));
  EXPECT_TRUE(rig.Events().empty());
  EXPECT_TRUE(rig.files.Deletes().empty());
  // What the works read of their own data stays theirs.
  EXPECT_EQ(works->CopyParams().transferId, "t");
  EXPECT_TRUE(works->GetProgressUpdater());
}

// A transfer brought back from the store (flag set) is suspended, not cancelled, in every
// state before it transfers.
TEST(StandardTransferTest, SuspendedFlagSuspendsEvenWhileInitializing) {
  for (const TransferState state : {TransferState::Initializing, TransferState::InitializingPaused,
                                    TransferState::Initialized}) {
    SCOPED_TRACE(ToNumber(state));
    TransferParams params = DefaultParams();
    params.suspended = 1;
    Rig rig(params);
    EXPECT_EQ(rig.transfer->GetStatus().state, TransferState::Suspended);
    EXPECT_EQ(rig.transfer->Restore().state, TransferState::Initializing);
    EXPECT_EQ(rig.workflows.made.size(), 1u);  // the one built at construction
    if (state == TransferState::InitializingPaused) rig.transfer->Pause();
    if (state == TransferState::Initialized) {
      rig.AcquirePackage();
      rig.AcquireNodeList();
      rig.CompleteInitialization();
    }
    ASSERT_EQ(rig.transfer->GetStatus().state, state);
    rig.Clear();
    EXPECT_EQ(rig.transfer->Suspend().state, TransferState::Suspended);
    EXPECT_EQ(rig.Events(), std::vector<std::string>{"Suspend"});
  }
}

TEST(StandardTransferTest, CancelWithDeletionDeletesEveryReportedFileOnce) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  rig.Data()->TrackFile("run.exe");
  rig.Data()->TrackFile("run.exe");
  rig.Data()->TrackFile("data/a.bin");
  rig.transfer->Cancel(true);
  std::vector<std::string> deletes = rig.files.Deletes();
  std::sort(deletes.begin(), deletes.end());
  EXPECT_EQ(deletes, (std::vector<std::string>{"/dest|data/a.bin", "/dest|run.exe"}));
  // A file reported after the cancel is deleted at once.
  rig.Data()->TrackFile("late.bin");
  EXPECT_EQ(rig.files.Deletes().back(), "/dest|late.bin");
}

TEST(StandardTransferTest, CancelWithDeletionOnEndedTransfers) {
  {
    Rig completed;
    completed.DriveTo(TransferState::Completed);
    completed.Data()->TrackFile("run.exe");
    const TransferStatus status = completed.transfer->Cancel(true);
    EXPECT_EQ(status.state, TransferState::Completed);
    EXPECT_TRUE(completed.Events().empty());
    EXPECT_EQ(completed.files.Deletes(), std::vector<std::string>{"/dest|run.exe"});
  }
  {
    // A fatal error refuses the cancel itself, but not the deletion.
    Rig failed;
    failed.DriveTo(TransferState::Transferring);
    failed.Data()->TrackFile("run.exe");
    failed.CompleteRoot(
        WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::FileAccess, "x")));
    failed.Clear();
    const TransferStatus status = failed.transfer->Cancel(true);
    EXPECT_EQ(status.state, TransferState::Transferring);
    EXPECT_EQ(status.error, TransferError::FileAccess);
    EXPECT_TRUE(failed.Events().empty());
    EXPECT_EQ(failed.files.Deletes(), std::vector<std::string>{"/dest|run.exe"});
  }
  {
    Rig suspended;
    suspended.DriveTo(TransferState::Suspended);
    suspended.Data()->TrackFile("run.exe");
    suspended.transfer->Cancel(true);
    EXPECT_TRUE(suspended.files.Deletes().empty());
  }
}

// Before Start the destination is still "?", which is a legal folder name here: deleting
// would look for the files below "./?/". Nothing is deleted then.
TEST(StandardTransferTest, CancelBeforeStartDeletesNothing) {
  Rig rig;
  rig.DriveTo(TransferState::Initialized);
  rig.Data()->TrackFile("run.exe");
  EXPECT_EQ(rig.transfer->Cancel(true).state, TransferState::Canceled);
  rig.Data()->TrackFile("data/a.bin");
  EXPECT_TRUE(rig.files.Deletes().empty());
}

TEST(StandardTransferTest, AcquiredPackageNamesTheVersion) {
  Rig rig;
  rig.transfer->Initialize();
  EXPECT_EQ(rig.transfer->GetStatus().versionId, "?");
  rig.AcquirePackage();
  const TransferStatus status = rig.transfer->GetStatus();
  EXPECT_EQ(status.state, TransferState::Initializing);
  EXPECT_EQ(status.versionId, "2.0");
  EXPECT_EQ(rig.transfer->DescribeNodes(), "[]");
  rig.AcquireNodeList();
  rig.CompleteInitialization();
  const TransferStatus initialized = rig.transfer->GetStatus();
  EXPECT_EQ(initialized.state, TransferState::Initialized);
  EXPECT_EQ(initialized.totalBytes, 150u);
  EXPECT_EQ(initialized.runFile, "");   // reported only once Completed
  EXPECT_EQ(rig.Workflow().pauses, 1);  // the files wait for Start
  EXPECT_EQ(rig.Events(), (std::vector<std::string>{"Initialize", "InitializeComplete"}));
  const std::string nodes = rig.transfer->DescribeNodes();
  EXPECT_EQ(nodes.rfind("[{\"Node\":\"n1:80\"", 0), 0u) << nodes;
  EXPECT_NE(nodes.find("{\"Node\":\"n2:80\""), std::string::npos) << nodes;
}

TEST(StandardTransferTest, CompletesOnlyWithEveryByteVerified) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  rig.CountEveryByte();
  rig.CompleteRoot(WorkStatus(WorkResult::Success));
  const TransferStatus status = rig.transfer->GetStatus();
  EXPECT_EQ(status.state, TransferState::Completed);
  EXPECT_EQ(status.runFile, "run.exe");
  EXPECT_EQ(rig.Events(), std::vector<std::string>{"Complete"});
  EXPECT_EQ(rig.Workflow().pauses, 2);  // at Initialized, and when dropped
}

// A workflow whose Start throws ends the transfer with a fatal Internal error; the
// operation itself still answers with a snapshot.
TEST(StandardTransferTest, AWorkflowThatCannotStartFailsFatally) {
  const struct {
    TransferState from;
    Op op;
  } cases[] = {{TransferState::Initializing, Op::Initialize},
               {TransferState::Suspended, Op::Restore}};
  for (const auto& c : cases) {
    Rig rig;
    if (c.from == TransferState::Suspended) {
      rig.DriveTo(TransferState::Transferring);
      rig.transfer->Suspend();
    }
    rig.Workflow().startThrows = true;  // the transfer's workflow, and any built later
    rig.workflows.configure = [](fakes::ScriptedWorkflow& w) { w.startThrows = true; };
    TransferStatus status;
    ASSERT_NO_THROW(status = Apply(*rig.transfer, c.op)) << Name(c.op);
    EXPECT_EQ(status.error, TransferError::Internal) << Name(c.op);
    EXPECT_FALSE(status.retryable) << Name(c.op);
    EXPECT_EQ(status.state, c.from) << Name(c.op);
  }
}

// The end events are made after the state changed, so they report the state reached.
TEST(StandardTransferTest, EndEventsReportTheStateReached) {
  const struct {
    std::function<void(Rig&)> end;
    const char* status;
  } cases[] = {
      {[](Rig& r) { r.transfer->Cancel(false); }, "canceled"},
      {[](Rig& r) {
         r.CountEveryByte();
         r.CompleteRoot(WorkStatus(WorkResult::Success));
       },
       "completed"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.DriveTo(TransferState::Transferring);
    c.end(rig);
    std::vector<std::string> reports;
    for (const auto& post : rig.analytics.Posts()) {
      if (post.kind == 32) reports.push_back(post.json);
    }
    ASSERT_EQ(reports.size(), 1u) << c.status;
    EXPECT_NE(reports[0].find(std::string("\"status\":\"") + c.status + "\""), std::string::npos)
        << reports[0];
  }
}

// Every broken expectation of a report ends the transfer with a fatal error: the
// workflow is terminated once, the fatal-error event carries the message, and the root's
// report that the termination sends back changes nothing.
TEST(StandardTransferTest, BrokenReportsFailFatally) {
  enum class At { Initializing, Transferring };
  struct Case {
    At at;
    std::function<void(Rig&)> report;
    TransferError error;
    const char* message;
  };
  auto otherIds = [](const char* partner, const char* id) {
    return std::make_shared<FakePackage>(partner, id, "1", FileManifestList{});
  };
  auto retryable = [](Rig& rig, std::shared_ptr<Workflow> workflow, const WorkStatus& status) {
    rig.Data()->GetRetryableErrorCallback()->OnWorkflowRetryableError(workflow, nullptr, status);
  };
  const WorkStatus networkRetry(WorkResult::RetryableError,
                                MakeTransferErrorData(TransferError::Network, "x"));
  const Case cases[] = {
      {At::Transferring, [](Rig& r) { r.CompleteRoot(WorkStatus(WorkResult::Success)); },
       TransferError::Internal,
       "Transfer::OnWorkComplete called with Success result but progress is not complete"},
      {At::Transferring,
       [](Rig& r) {
         r.Status().AddCompleted(150);
         r.Status().AddVerified(100);
         r.CompleteRoot(WorkStatus(WorkResult::Success));
       },
       TransferError::Internal,
       "Transfer::OnWorkComplete called with Success result but progress is not complete"},
      {At::Transferring,
       [](Rig& r) { r.CompleteRoot(WorkStatus(WorkResult::Error, MakeWorkErrorData("m"))); },
       TransferError::Internal,
       "Transfer::OnWorkComplete called with error result but data is not TransferStatusData"},
      {At::Transferring, [](Rig& r) { r.CompleteRoot(WorkStatus(WorkResult::Failure)); },
       TransferError::Internal,
       "Transfer::OnWorkComplete called with error result but data is not TransferStatusData"},
      {At::Transferring,
       [](Rig& r) {
         r.CompleteRoot(
             WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::None, "")));
       },
       TransferError::Internal,
       "Transfer::OnWorkComplete called with error result but data->ToTransferError() is "
       "None"},
      {At::Transferring, [](Rig& r) { r.AcquirePackage(); }, TransferError::Internal,
       "Transfer::OnPackageAcquire called but transfer is not initializing"},
      {At::Initializing,
       [](Rig& r) {
         r.Data()->GetPackageAcquireCallback()->OnWorkComplete(
             nullptr, WorkStatus(WorkResult::Success, NodeListStatusData::Create(r.nodeList)));
       },
       TransferError::Internal,
       "Transfer::OnPackageAcquire called but data is not PackageStatusData or package is "
       "null"},
      {At::Initializing, [&](Rig& r) { r.AcquirePackage(otherIds("q", "k")); },
       TransferError::Manifest, "Transfer::OnPackageAcquire called but package does not match ids"},
      {At::Initializing, [&](Rig& r) { r.AcquirePackage(otherIds("p", "K")); },
       TransferError::Manifest, "Transfer::OnPackageAcquire called but package does not match ids"},
      {At::Transferring, [](Rig& r) { r.AcquireNodeList(); }, TransferError::Internal,
       "Transfer::OnNodeListAcquire called but transfer is not initializing"},
      {At::Initializing,
       [](Rig& r) {
         r.Data()->GetNodeListAcquireCallback()->OnWorkComplete(
             nullptr, WorkStatus(WorkResult::Success, NodeListStatusData::Create(nullptr)));
       },
       TransferError::Internal,
       "Transfer::OnNodeListAcquire called but data is not NodeListStatusData or nodelist is "
       "null"},
      {At::Transferring, [](Rig& r) { r.CompleteInitialization(); }, TransferError::Internal,
       "Transfer::OnInitialize called but transfer is not initializing"},
      {At::Initializing,
       [](Rig& r) {
         r.AcquireNodeList();
         r.CompleteInitialization();
       },
       TransferError::Internal, "Transfer::OnInitialize called but package is missing"},
      {At::Initializing,
       [](Rig& r) {
         r.AcquirePackage();
         r.CompleteInitialization();
       },
       TransferError::Internal, "Transfer::OnInitialize called but nodelist is missing"},
      {At::Transferring,
       [&](Rig& r) { retryable(r, std::make_shared<fakes::ScriptedWorkflow>(), networkRetry); },
       TransferError::Internal, "Transfer::OnWorkflowRetryableError called on wrong workflow"},
      {At::Transferring,
       [&](Rig& r) {
         retryable(
             r, r.workflows.made.back(),
             WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::Network, "x")));
       },
       TransferError::Internal, "Transfer::OnWorkflowRetryableError called with incorrect status"},
      {At::Transferring,
       [&](Rig& r) {
         WorkStatus retrying = networkRetry;
         retrying.retry = true;
         retryable(r, r.workflows.made.back(), retrying);
       },
       TransferError::Internal, "Transfer::OnWorkflowRetryableError called with incorrect status"},
      {At::Transferring,
       [&](Rig& r) {
         retryable(r, r.workflows.made.back(),
                   WorkStatus(WorkResult::RetryableError, MakeWorkErrorData("x")));
       },
       TransferError::Internal, "Transfer::OnWorkflowRetryableError called with invalid data"},
      {At::Transferring,
       [&](Rig& r) {
         retryable(r, r.workflows.made.back(),
                   WorkStatus(WorkResult::RetryableError,
                              MakeTransferErrorData(TransferError::None, "")));
       },
       TransferError::Internal,
       "Transfer::OnWorkflowRetryableError called with TransferError::None"},
  };
  for (const Case& c : cases) {
    Rig rig;
    if (c.at == At::Initializing) {
      rig.transfer->Initialize();
    } else {
      rig.DriveTo(TransferState::Transferring);
    }
    // The termination reports the root's completion back, as a real workflow does.
    rig.Workflow().onTerminate = [&rig](const WorkStatus& status) { rig.CompleteRoot(status); };
    rig.Clear();
    c.report(rig);

    const TransferStatus status = rig.transfer->GetStatus();
    EXPECT_EQ(status.error, c.error) << c.message;
    EXPECT_EQ(status.retryable, 0) << c.message;
    EXPECT_EQ(status.state,
              c.at == At::Initializing ? TransferState::Initializing : TransferState::Transferring)
        << c.message;
    EXPECT_EQ(rig.Workflow().terminates, 1) << c.message;
    EXPECT_EQ(rig.Events(), std::vector<std::string>{"FatalError"}) << c.message;
    const std::string text = "error|" + std::to_string(ToNumber(c.error)) + "|" + c.message;
    bool found = false;
    for (const auto& post : rig.analytics.Posts()) {
      if (post.json.find("numFatalErrors") == std::string::npos) continue;
      found = true;
      EXPECT_NE(post.json.find("\"error\":\"" + text + "\""), std::string::npos) << post.json;
    }
    EXPECT_TRUE(found) << c.message;
  }
}

TEST(StandardTransferTest, OneRetryableErrorAtATime) {
  Rig rig;
  rig.transfer->Initialize();
  // A fetch that spent its retries is left to the workflow's retryable-error report.
  rig.Data()->GetPackageAcquireCallback()->OnWorkComplete(
      nullptr,
      WorkStatus(WorkResult::RetryableError, MakeTransferErrorData(TransferError::Network, "x")));
  rig.ReportRetryable(TransferError::Network);
  rig.ReportRetryable(TransferError::Manifest);
  TransferStatus status = rig.transfer->GetStatus();
  EXPECT_EQ(status.state, TransferState::Initializing);
  EXPECT_EQ(status.error, TransferError::Network);
  EXPECT_EQ(status.retryable, 1);
  EXPECT_EQ(rig.Events(), (std::vector<std::string>{"Initialize", "RetryableError"}));

  EXPECT_EQ(rig.transfer->Retry().error, TransferError::None);
  rig.ReportRetryable(TransferError::Checksum);
  status = rig.transfer->GetStatus();
  EXPECT_EQ(status.error, TransferError::Checksum);
  EXPECT_EQ(rig.Events(),
            (std::vector<std::string>{"Initialize", "RetryableError", "Retry", "RetryableError"}));
}

TEST(StandardTransferTest, RetryNeedsTheWorkflowToAgree) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  rig.ReportRetryable();
  rig.Workflow().retryAnswer = false;  // not retry-pending
  rig.Clear();
  EXPECT_EQ(rig.transfer->Retry().error, TransferError::Network);
  EXPECT_TRUE(rig.Events().empty());
}

TEST(StandardTransferTest, PeriodicEventFollowsActiveTime) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  rig.Status().GetActiveTime().Add(300000);
  rig.transfer->GetStatus();
  EXPECT_TRUE(rig.analytics.Posts().empty());
  rig.Status().GetActiveTime().Add(1);
  rig.Status().AddDownloaded(77);
  rig.transfer->GetStatus();
  const auto posts = rig.analytics.Posts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].kind, 32u);
  EXPECT_NE(posts[0].json.find("\"status\":\"active\",\"transferBytes\":\"77\",\"duration\":"
                               "\"300.001\""),
            std::string::npos)
      << posts[0].json;
  EXPECT_TRUE(rig.Events().empty());  // no work-log line
  rig.analytics.Clear();
  rig.transfer->GetStatus();
  EXPECT_TRUE(rig.analytics.Posts().empty());
}

// FailFatal takes the workflow out under the lock: an operation that runs while the
// termination is under way finds no workflow, so it cannot pause a transfer that has
// just failed, nor touch the workflow being dropped.
TEST(StandardTransferTest, NoOperationUsesTheWorkflowBeingTerminated) {
  Rig rig;
  rig.DriveTo(TransferState::Transferring);
  TransferStatus during;
  bool answered = false;
  rig.Workflow().onTerminate = [&](const WorkStatus&) {
    auto pause = std::async(std::launch::async, [&] { return rig.transfer->Pause(); });
    answered = pause.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (answered) during = pause.get();
  };
  const int pausesBefore = rig.Workflow().pauses;
  rig.CompleteInitialization();  // not initializing: a fatal Internal error
  ASSERT_TRUE(answered);
  EXPECT_EQ(during.state, TransferState::Transferring);
  EXPECT_EQ(during.error, TransferError::Internal);
  EXPECT_EQ(rig.Workflow().pauses, pausesBefore);
  EXPECT_EQ(rig.Events(), std::vector<std::string>{"FatalError"});
}

// Events are sent with the transfer's lock released: a sink may take its time, and another
// thread may use the transfer meanwhile.
TEST(StandardTransferTest, EventsFireWithTheLockReleased) {
  Rig rig;
  rig.DriveTo(TransferState::Initialized);
  int answered = 0;
  rig.analytics.onPost = [&] {
    auto poll = std::async(std::launch::async, [&] { return rig.transfer->GetStatus(); });
    if (poll.wait_for(std::chrono::seconds(30)) == std::future_status::ready &&
        poll.get().state == TransferState::Transferring) {
      ++answered;
    }
  };
  rig.transfer->Start("/dest");
  EXPECT_EQ(answered, 2);  // the start's two posts
}

TEST(StandardTransferTest, DiskSpaceOnlyWhileInitialized) {
  Rig rig;
  const std::string folder = GetTempFolder();
  EXPECT_FALSE(rig.transfer->HasEnoughDiskSpace(folder));
  rig.DriveTo(TransferState::Initialized);
  EXPECT_TRUE(rig.transfer->HasEnoughDiskSpace(folder));
  EXPECT_FALSE(rig.transfer->HasEnoughDiskSpace(folder + "/no such folder"));
  rig.transfer->Start("/dest");
  EXPECT_FALSE(rig.transfer->HasEnoughDiskSpace(folder));
}

// The bytes of the package's files already in the folder are counted as available: a
// package larger than the free space fits when most of it is there already.
TEST(StandardTransferTest, DiskSpaceCountsTheFilesAlreadyThere) {
  const std::string folder = GetTempFolder() + "/zarn-space-" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  const uint64_t size = GetFreeSpace(folder) + (uint64_t{1} << 30);
  Rig rig;
  auto package = std::make_shared<FakePackage>(
      "p", "k", "2.0", FileManifestList{std::make_shared<FakeFile>("big.bin", size)}, "big.bin");
  rig.transfer->Initialize();
  rig.AcquirePackage(package);
  rig.AcquireNodeList();
  rig.CompleteInitialization();
  EXPECT_FALSE(rig.transfer->HasEnoughDiskSpace(folder));
  std::ofstream(folder + "/big.bin").close();
  std::error_code error;
  std::filesystem::resize_file(folder + "/big.bin", size, error);  // sparse: no blocks taken
  const bool enough = rig.transfer->HasEnoughDiskSpace(folder);
  std::filesystem::remove_all(folder);
  if (error) GTEST_SKIP() << "no sparse file of " << size << " bytes here: " << error.message();
  EXPECT_TRUE(enough);
}

}  // namespace
}  // namespace zarn
