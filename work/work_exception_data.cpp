#include "work/work_exception_data.h"

#include <boost/core/demangle.hpp>
#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <typeinfo>

namespace zarn {
namespace {

const char kUnknownExceptionType[] = "Unknown exception type";

// The readable name of the exception's dynamic type ("std::runtime_error").
std::string TypeName(const std::exception& e) { return boost::core::demangle(typeid(e).name()); }

}  // namespace

WorkExceptionData::WorkExceptionData(std::exception_ptr exception)
    : exception_(std::move(exception)) {}

void WorkExceptionData::Rethrow() const {
  if (!exception_) {
    throw std::logic_error("WorkExceptionData::Rethrow called with no exception_ptr");
  }
  std::rethrow_exception(exception_);
}

void WorkExceptionData::Describe(boost::property_tree::ptree& tree) const {
  std::string type;
  std::string what;
  bool standard = false;
  try {
    Rethrow();
  } catch (const std::exception& e) {
    standard = true;
    type = TypeName(e);
    what = e.what();
  } catch (...) {
  }
  if (standard) {
    tree.put("exception", type);
    tree.put("what", what);
  } else {
    tree.put("exception", kUnknownExceptionType);
  }
}

std::string WorkExceptionData::ToString() const {
  try {
    Rethrow();
  } catch (const std::exception& e) {
    return TypeName(e);
  } catch (...) {
  }
  return kUnknownExceptionType;
}

std::shared_ptr<WorkExceptionData> MakeWorkExceptionData(std::exception_ptr exception) {
  return std::make_shared<WorkExceptionData>(std::move(exception));
}

}  // namespace zarn
