#include "transfer/works/optimized_request_chunk_work.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <utility>
#include <vector>

#include "http/http_request.h"
#include "http/http_request_factory.h"
#include "storage/timestamp.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/optimizer/transfer_optimizer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/transfer_http_writer.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "work/work_status.h"

namespace zarn {
namespace {

WorkResult ResultOf(HttpRequestResult result) {
  switch (result) {
    case HttpRequestResult::Succeeded:
      return WorkResult::Success;
    case HttpRequestResult::Cancelled:
      return WorkResult::Cancelled;
    case HttpRequestResult::BadUrl:
    case HttpRequestResult::ResolveFailed:
    case HttpRequestResult::ConnectFailed:
    case HttpRequestResult::ClientError:
    case HttpRequestResult::ServerError:
    case HttpRequestResult::NetworkError:
    case HttpRequestResult::WriteFailed:
    case HttpRequestResult::RangeError:
    case HttpRequestResult::TimedOut:
    case HttpRequestResult::OtherError:
      return WorkResult::RetryableError;
    default:  // Idle, Running, OutOfMemory and unknown values
      return WorkResult::Error;
  }
}

bool IsFailed(HttpRequestResult result) {
  return result != HttpRequestResult::Idle && result != HttpRequestResult::Running &&
         result != HttpRequestResult::Succeeded && result != HttpRequestResult::Cancelled;
}

}  // namespace

std::shared_ptr<OptimizedRequestChunkWork> OptimizedRequestChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries) {
  return std::make_shared<OptimizedRequestChunkWork>(
      Token(), std::move(workInterface), std::move(session), std::move(map), maxRetries);
}

OptimizedRequestChunkWork::OptimizedRequestChunkWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, std::shared_ptr<TransferSharedMapData> map,
    uint32_t maxRetries)
    : TransferWork(std::move(workInterface)),
      LimitedRetrySimpleWork(maxRetries),
      session_(std::move(session)),
      map_(std::move(map)),
      params_(IdleParams()) {
  RegisterCompleteObservers(*this, nullptr);
  RegisterRetryObserver(*this);
}

void OptimizedRequestChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "OptimizedRequestChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

bool OptimizedRequestChunkWork::ShouldRetry() {
  const bool retry = params_.FreeRetry || LimitedRetrySimpleWork::ShouldRetry();
  if (!retry) ReleaseCandidates();
  return retry;
}

void OptimizedRequestChunkWork::Reset() {
  LimitedRetrySimpleWork::Reset();
  params_ = IdleParams();
}

OptimizedRequestParams OptimizedRequestChunkWork::IdleParams() const {
  return OptimizedRequestParams(nullptr, GetWorkInterface()->GetParams(), map_);
}

void OptimizedRequestChunkWork::PrepareCandidates() {
  if (params_.nodeList) return;  // a retry: the candidates left by the earlier attempts
  params_ = OptimizedRequestParams(GetWorkInterface()->GetNodeList(),
                                   GetWorkInterface()->GetParams(), map_);
  AvoidMismatchedNodes();
}

void OptimizedRequestChunkWork::ReleaseCandidates() {
  params_.candidates = std::vector<std::shared_ptr<NodeManifest>>();
}

void OptimizedRequestChunkWork::AvoidMismatchedNodes() {
  if (map_->mismatchedNodes.empty()) return;
  std::vector<std::shared_ptr<NodeManifest>> remaining;
  for (const auto& node : params_.candidates) {
    if (std::find(map_->mismatchedNodes.begin(), map_->mismatchedNodes.end(), node) ==
        map_->mismatchedNodes.end()) {
      remaining.push_back(node);
    }
  }
  if (!remaining.empty()) params_.candidates = std::move(remaining);
}

void OptimizedRequestChunkWork::OnCancel() {
  if (std::shared_ptr<HttpRequest> request = GetCurrentRequest()) request->Cancel();
}

void OptimizedRequestChunkWork::SetCurrentRequest(std::shared_ptr<HttpRequest> request) {
  std::lock_guard<std::mutex> lock(requestMutex_);
  currentRequest_ = std::move(request);
}

std::shared_ptr<HttpRequest> OptimizedRequestChunkWork::GetCurrentRequest() {
  std::lock_guard<std::mutex> lock(requestMutex_);
  return currentRequest_;
}

void OptimizedRequestChunkWork::ClearCurrentRequest() {
  // Letting go of the last reference returns the request to its pool, under the pool's
  // lock: that happens when `released` goes, after requestMutex_ has been released.
  std::shared_ptr<HttpRequest> released;
  {
    std::lock_guard<std::mutex> lock(requestMutex_);
    released.swap(currentRequest_);
  }
}

uint32_t OptimizedRequestChunkWork::ClampRequestTime(uint64_t elapsedMs, uint32_t connectTimeout,
                                                     uint32_t timeout) {
  const int64_t limit = static_cast<int64_t>(connectTimeout) + static_cast<int64_t>(timeout);
  if (static_cast<int64_t>(elapsedMs / 1000) > limit) {
    return static_cast<uint32_t>(std::min<int64_t>(limit * 1000, UINT32_MAX));
  }
  return static_cast<uint32_t>(std::min<uint64_t>(elapsedMs, UINT32_MAX));
}

WorkStatus OptimizedRequestChunkWork::ExecuteTask() {
  const WorkStatus status = ExecuteAttempt();
  // Only a retryable failure may be followed by another attempt of this queueing.
  if (status.result != WorkResult::RetryableError) ReleaseCandidates();
  return status;
}

WorkStatus OptimizedRequestChunkWork::ExecuteAttempt() {
  if (!map_->view) {
    return MissingPreconditionStatus("OptimizedRequestChunkWork::ExecuteTask has no shared map");
  }
  try {
    PrepareCandidates();
    if (!params_.nodeList) throw std::logic_error("OptimizedRequestChunkWork has no node list");
    return PerformRequest();
  } catch (...) {
    ClearCurrentRequest();
    return RequestExceptionStatus();
  }
}

WorkStatus OptimizedRequestChunkWork::PerformRequest() {
  TransferBehavior& behavior = GetWorkInterface()->GetBehavior();
  behavior.optimizer->GetNode(params_);
  const std::shared_ptr<NodeManifest> node = params_.SelectedNode;

  TransferHttpWriter writer(map_);
  const HttpRequestParams requestParams = params_.BuildRequest(&writer);
  std::shared_ptr<HttpRequest> request =
      behavior.requestFactory->CreateForSession(requestParams, session_);
  SetCurrentRequest(request);
  map_->WithdrawProgress();
  if (IsCancelled()) request->Cancel();

  const Timestamp start;
  const HttpRequestStatus status = request->Perform();
  const uint64_t elapsed = Timestamp().Since(start);
  const uint32_t time =
      ClampRequestTime(elapsed, requestParams.connectTimeout, requestParams.timeout);
  const auto payload = HttpTransferStatusData::Create(node->GetHost(), status, time);

  const WorkResult result = ResultOf(status.result);
  map_->servedBy = result == WorkResult::Success ? node : nullptr;
  const bool failed = IsFailed(status.result);
  node->GetStatistics().Record(status.bytes, time, failed);
  if (failed) params_.DropSelectedNode();
  if (status.result == HttpRequestResult::TimedOut && status.bytes > 0 &&
      params_.lowSpeedTime < static_cast<int32_t>(behavior.config.lowSpeedTimeMax)) {
    params_.FreeRetry = 1;
  }
  if (result == WorkResult::Success || result == WorkResult::RetryableError) {
    behavior.optimizer->Record(params_, payload);
  }
  request.reset();
  ClearCurrentRequest();
  return WorkStatus(result, payload);
}

}  // namespace zarn
