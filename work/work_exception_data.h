#ifndef ZARN_WORK_WORK_EXCEPTION_DATA_H_
#define ZARN_WORK_WORK_EXCEPTION_DATA_H_

#include <exception>
#include <memory>
#include <string>

#include "work/work_status_data.h"

namespace zarn {

// A payload that keeps a captured exception, so that observers can rethrow and inspect it.
class WorkExceptionData : public virtual WorkStatusData {
 public:
  explicit WorkExceptionData(std::exception_ptr exception);

  // "exception" := the demangled dynamic type name of a std::exception, then "what"; for
  // anything else "exception" := "Unknown exception type". Never throws.
  void Describe(boost::property_tree::ptree& tree) const override;
  // The type name alone, or "Unknown exception type".
  std::string ToString() const override;

  // Throws the kept exception; std::logic_error when there is none.
  [[noreturn]] void Rethrow() const;

  const std::exception_ptr& exception() const { return exception_; }

 private:
  std::exception_ptr exception_;
};

std::shared_ptr<WorkExceptionData> MakeWorkExceptionData(std::exception_ptr exception);

}  // namespace zarn

#endif  // ZARN_WORK_WORK_EXCEPTION_DATA_H_
