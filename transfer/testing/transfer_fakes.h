#ifndef ZARN_TRANSFER_TESTING_TRANSFER_FAKES_H_
#define ZARN_TRANSFER_TESTING_TRANSFER_FAKES_H_

// Test doubles for the transfer state machine: a workflow that answers as scripted, sinks
// that record what events post, small manifests, a file factory that records deletes and
// a request factory that answers from a script instead of the network.
// Header-only: included by tests only.

#include <algorithm>
#include <atomic>
#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/http_request_factory.h"
#include "http/http_request_params.h"
#include "http/http_write_callback.h"
#include "storage/shared_file_factory.h"
#include "telemetry/compact_json_writer.h"
#include "telemetry/event_manager.h"
#include "telemetry/track_event_work.h"
#include "telemetry/work_log_manager.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/transfer.h"
#include "transfer/transfer_factory.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"
#include "transfer/transfer_workflow_factory.h"
#include "work/work_status.h"
#include "work/workflow.h"

namespace zarn {
namespace fakes {

// Answers Start (true once), Pause, Resume and Retry as scripted and counts the calls.
class ScriptedWorkflow : public Workflow {
 public:
  std::atomic<bool> pauseAnswer{true};
  std::atomic<bool> resumeAnswer{true};
  std::atomic<bool> retryAnswer{true};
  std::atomic<bool> startThrows{false};
  std::atomic<int> starts{0}, pauses{0}, resumes{0}, retries{0}, terminates{0};
  std::function<void(const WorkStatus&)> onTerminate;  // runs inside Terminate
  std::vector<WorkflowRetryableErrorCallback*> retryableErrorCallbacks;

  bool Start() override {
    ++starts;
    if (startThrows) throw std::runtime_error("start failed");
    return starts == 1;
  }
  bool Pause() override {
    ++pauses;
    return pauseAnswer;
  }
  bool Resume() override {
    ++resumes;
    return resumeAnswer;
  }
  bool Retry() override {
    ++retries;
    return retryAnswer;
  }
  WorkflowState GetState() const override { return WorkflowState::Running; }
  bool IsStarted() const override { return starts > 0; }
  bool IsPaused() const override { return false; }
  bool IsRetryPending() const override { return false; }
  bool IsFinished() const override { return terminates > 0; }
  bool Terminate(const WorkStatus& status) override {
    ++terminates;
    if (onTerminate) onTerminate(status);
    return true;
  }
  void AddRetryableErrorCallback(WorkflowRetryableErrorCallback* observer) override {
    retryableErrorCallbacks.push_back(observer);
  }
  void QueueWork(const std::shared_ptr<SimpleWork>&) override {}
  void OnWorkFinished(const std::shared_ptr<SimpleWork>&, const WorkStatus&) override {}
  std::function<void()> onWorkComplete;  // runs when an attached work reports

 private:
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    if (onWorkComplete) onWorkComplete();
  }
};

class ScriptedWorkflowFactory : public TransferWorkflowFactory {
 public:
  std::function<void(ScriptedWorkflow&)> configure;
  std::vector<std::shared_ptr<ScriptedWorkflow>> made;
  std::shared_ptr<Workflow> CreateWorkflow(const std::shared_ptr<TransferWorkInterface>&) override {
    auto workflow = std::make_shared<ScriptedWorkflow>();
    if (configure) configure(*workflow);
    made.push_back(workflow);
    return workflow;
  }
  ScriptedWorkflow& Last() { return *made.back(); }
};

class RecordedEventWork : public TrackEventWork {
 public:
  explicit RecordedEventWork(uint32_t kind) : TrackEventWork(kind) {}
  WorkStatus ExecuteTask() override { return WorkStatus(WorkResult::Success); }
};

struct Post {
  uint32_t kind;
  std::string json;  // the compact JSON text the sink would send or log
};

inline std::string ToJson(const boost::property_tree::ptree& tree) {
  std::ostringstream out;
  WriteCompactJson(out, tree);
  return out.str();
}

// An analytics sink that records every post instead of sending it.
class RecordingAnalytics : public EventManager {
 public:
  RecordingAnalytics() : EventManager(1) {}
  std::function<void()> onPost;  // runs on the posting thread before each post is kept
  ~RecordingAnalytics() override { Drain(); }
  std::shared_ptr<TrackEventWork> CreateEventWork(uint32_t kind) override {
    return std::make_shared<RecordedEventWork>(kind);
  }
  void PostEvent(const std::shared_ptr<TrackEventWork>& work) override {
    if (onPost) onPost();
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.push_back({work->GetKind(), ToJson(work->GetTree())});
  }
  std::vector<Post> Posts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Post> posts_;
};

// A work-log sink that records the transfer events' names instead of writing lines.
class RecordingLog : public WorkLogManager {
 public:
  RecordingLog() : WorkLogManager(0xFFFFFFFFu, "", nullptr, Clock()) {}
  ~RecordingLog() override { Drain(); }
  std::shared_ptr<TrackEventWork> CreateEventWork(uint32_t kind) override {
    return std::make_shared<RecordedEventWork>(kind);
  }
  void PostEvent(const std::shared_ptr<TrackEventWork>& work) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(work->GetTree().get<std::string>("event", ""));
    lines_.push_back({work->GetKind(), ToJson(work->GetTree())});
  }
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {}
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>&, const WorkStatus&) override {
    ++retries;
  }
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<Post> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
    lines_.clear();
  }

  std::atomic<int> retries{0};  // immediate retries reported by observed works

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<Post> lines_;
};

// Opens nothing; records every Delete as "folder|name".
class RecordingFileFactory : public SharedFileFactory {
 public:
  std::shared_ptr<SharedFile> Create(const std::string&, const std::string&, SharedFileOpenMode,
                                     uint64_t, uint64_t) override {
    throw std::logic_error("RecordingFileFactory opens no file");
  }
  bool Delete(const std::string& folder, const std::string& fileName) override {
    std::lock_guard<std::mutex> lock(mutex_);
    deletes_.push_back(folder + "|" + fileName);
    return true;
  }
  bool IsExecutable(const std::string&, const std::string&) override { return false; }
  std::vector<std::string> Deletes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deletes_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> deletes_;
};

// One scripted answer: the body handed to the request's sink, then the result. A sink that
// refuses a piece ends the request as the request layer does: RangeError and OutOfMemory
// are kept, any other refusal becomes WriteFailed.
struct ScriptedAnswer {
  HttpRequestResult result;
  std::string body;
  std::string message;
};

// Answers every request from a script, in order (the last answer repeats), without any
// network: the results that a real exchange cannot be made to produce (Idle, OutOfMemory,
// unknown values) included. Counts the exchanges and keeps their URLs.
class ScriptedHttpRequestFactory : public HttpRequestFactory {
 public:
  ScriptedHttpRequestFactory() : HttpRequestFactory(&proxies_) {}
  explicit ScriptedHttpRequestFactory(std::vector<ScriptedAnswer> script)
      : HttpRequestFactory(&proxies_), script_(std::move(script)) {}

  std::shared_ptr<HttpRequest> Create(HttpRequestParams params, const std::string& proxy) override {
    return std::make_shared<Request>(params, proxy, this);
  }

  std::vector<std::string> Urls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }
  std::size_t Performs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_.size();
  }

 private:
  class Direct : public HttpProxyFactory {
   public:
    std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
  };

  class Request : public HttpRequest {
   public:
    Request(const HttpRequestParams& params, const std::string& proxy,
            ScriptedHttpRequestFactory* factory)
        : HttpRequest(params, proxy), factory_(factory) {}
    HttpRequestStatus Perform() override {
      if (cancelled_) return HttpRequestStatus(HttpRequestResult::Cancelled, 0);
      const ScriptedAnswer answer = factory_->Next(params_.url);
      HttpRequestStatus status(answer.result, 0);
      status.message = answer.message;
      if (!answer.body.empty()) {
        const HttpRequestStatus written =
            params_.sink->Write(reinterpret_cast<const std::uint8_t*>(answer.body.data()),
                                static_cast<std::uint32_t>(answer.body.size()));
        status.bytes = written.bytes;
        if (written.result == HttpRequestResult::RangeError ||
            written.result == HttpRequestResult::OutOfMemory) {
          status.result = written.result;
        } else if (written.result != HttpRequestResult::Succeeded) {
          status.result = HttpRequestResult::WriteFailed;
        }
      }
      return status;
    }
    HttpRequestStatus GetStatus() override { return HttpRequestStatus(HttpRequestResult::Idle, 0); }
    void Cancel() override { cancelled_ = true; }
    bool Reset(HttpRequestParams&& params, const std::string& proxy) override {
      params_ = std::move(params);
      proxy_ = proxy;
      cancelled_ = false;
      return true;
    }

   private:
    ScriptedHttpRequestFactory* factory_;
    std::atomic<bool> cancelled_{false};
  };

  ScriptedAnswer Next(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t index = std::min(urls_.size(), script_.size() - 1);
    urls_.push_back(url);
    return script_.at(index);
  }

  Direct proxies_;
  const std::vector<ScriptedAnswer> script_;
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;
};

class FakeFile : public FileManifest {
 public:
  FakeFile(std::string path, uint64_t size) : path_(std::move(path)), size_(size) {}
  void Read(const boost::property_tree::ptree&) override {}
  const std::string& GetPath() const override { return path_; }
  uint32_t GetChunkSize() const override { return 0; }
  uint64_t GetSize() const override { return size_; }
  const std::vector<uint32_t>& GetChecksums() const override { return checksums_; }

 private:
  std::string path_;
  uint64_t size_;
  std::vector<uint32_t> checksums_;
};

class FakePackage : public PackageManifest {
 public:
  FakePackage(std::string partnerId, std::string id, std::string versionId, FileManifestList files,
              std::string run = "")
      : partnerId_(std::move(partnerId)),
        id_(std::move(id)),
        versionId_(std::move(versionId)),
        run_(std::move(run)),
        files_(std::move(files)) {
    for (const auto& file : files_) {
      (file->GetPath() == run_ ? runFiles_ : otherFiles_).push_back(file);
    }
  }
  void Read(const boost::property_tree::ptree&) override {}
  const std::string& GetId() const override { return id_; }
  const std::string& GetName() const override { return id_; }
  const std::string& GetPartnerId() const override { return partnerId_; }
  const std::string& GetVersionId() const override { return versionId_; }
  const FileManifestList& GetFiles() const override { return files_; }
  const FileManifestList& GetRunFiles() const override { return runFiles_; }
  const FileManifestList& GetOtherFiles() const override { return otherFiles_; }
  const std::string& GetRun() const override { return run_; }
  std::shared_ptr<FileManifest> GetRunFile() const override {
    return runFiles_.empty() ? nullptr : runFiles_.back();
  }

 private:
  std::string partnerId_, id_, versionId_, run_;
  FileManifestList files_, runFiles_, otherFiles_;
};

class FakeNode : public NodeManifest {
 public:
  explicit FakeNode(std::string host) : host_(std::move(host)) {}
  void Read(const boost::property_tree::ptree&) override {}
  void Write(boost::property_tree::ptree& tree) const override {
    tree.put("Node", host_);
    statistics_.Write(tree);
  }
  const std::string& GetNodeId() const override { return host_; }
  const std::string& GetHost() const override { return host_; }
  NodeStatistics& GetStatistics() override { return statistics_; }

 private:
  std::string host_;
  NodeStatistics statistics_;
};

class FakeNodeList : public NodeListManifest {
 public:
  explicit FakeNodeList(NodeManifestList nodes) : nodes_(std::move(nodes)) {}
  void Read(const boost::property_tree::ptree&) override {}
  const NodeManifestList& GetNodes() const override { return nodes_; }

 private:
  NodeManifestList nodes_;
};

// Counts what the manager asks of it; every operation answers an empty status.
class CountingTransfer : public Transfer {
 public:
  explicit CountingTransfer(const TransferParams& params) : params(params) {}
  TransferStatus Initialize() override { return {}; }
  TransferStatus Start(const std::string&) override { return {}; }
  bool HasEnoughDiskSpace(const std::string&) override { return false; }
  TransferStatus GetStatus() override { return {}; }
  TransferStatus Cancel(bool) override { return {}; }
  TransferStatus Pause() override { return {}; }
  TransferStatus Resume() override { return {}; }
  TransferStatus Retry() override { return {}; }
  TransferStatus Suspend() override {
    ++suspends;
    return {};
  }
  TransferStatus Restore() override { return {}; }
  std::shared_ptr<TransferWorkInterface> GetData() override { return nullptr; }
  std::string DescribeNodes() override { return "[]"; }

  TransferParams params;
  std::atomic<int> suspends{0};
};

class CountingTransferFactory : public TransferFactory {
 public:
  std::shared_ptr<Transfer> CreateTransfer(const TransferParams& params,
                                           const TransferBehavior&) override {
    made.push_back(std::make_shared<CountingTransfer>(params));
    return made.back();
  }
  std::vector<std::shared_ptr<CountingTransfer>> made;
};

}  // namespace fakes
}  // namespace zarn

#endif  // ZARN_TRANSFER_TESTING_TRANSFER_FAKES_H_
