#ifndef ZARN_TRANSFER_WORKS_TRANSFER_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_WORK_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <memory>

namespace zarn {

class SimpleWork;
class TransferWorkInterface;
class Work;
class WorkCompleteCallback;
struct WorkStatus;

// The mix-in base of every work of a transfer's tree: it keeps the transfer's work
// interface alive for as long as the work lives, and gives the common shape that all
// transfer works share (observers, description, failure statuses).
//
// A transfer work derives first from TransferWork and second from one work class.
// Completion observers end up in this order: workflow, transfer observer, work log,
// parent.
class TransferWork {
 public:
  explicit TransferWork(std::shared_ptr<TransferWorkInterface> workInterface);
  TransferWork(const TransferWork&) = delete;
  TransferWork& operator=(const TransferWork&) = delete;
  virtual ~TransferWork();

  const std::shared_ptr<TransferWorkInterface>& GetWorkInterface() const { return workInterface_; }

 protected:
  enum class ParamsAccess { kCopy, kInPlace };

  // The work-log sink's completion face, for works that hand it to their base's
  // constructor.
  WorkCompleteCallback* LogCompleteCallback() const;

  // Registers the transfer's observer (when not null), then the work-log sink.
  void RegisterCompleteObservers(Work& work, WorkCompleteCallback* transferObserver) const;

  // Registers the work-log sink as a retry observer, so that immediate retries are logged.
  void RegisterRetryObserver(SimpleWork& work) const;

  // Writes "name", "important" (only when set) and the transfer's params.
  void DescribeTransferWork(boost::property_tree::ptree& tree, const char* name, bool important,
                            ParamsAccess access) const;

 private:
  std::shared_ptr<TransferWorkInterface> workInterface_;
};

// Failure statuses of transfer leaves. The *Exception helpers must be called inside a
// catch block: they classify the exception being handled.
WorkStatus MissingPreconditionStatus(const char* message);
WorkStatus ManifestExceptionStatus();  // stream failure retryable, else Manifest/OOM/Internal
WorkStatus FileExceptionStatus();      // by the file-error table
WorkStatus RequestExceptionStatus();   // OutOfMemory or Internal
WorkStatus InternalExceptionStatus();  // Internal

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_WORK_H_
