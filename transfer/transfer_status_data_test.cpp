#include "transfer/transfer_status_data.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "storage/file_exception.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_exception_data.h"
#include "transfer/transfer_file_exception_data.h"

namespace zarn {
namespace {

template <typename E>
std::exception_ptr Captured(E e) {
  return std::make_exception_ptr(e);
}

std::shared_ptr<TransferStatusData> Http(HttpRequestResult result, const char* message) {
  HttpRequestStatus status(result, 42);
  status.message = message;
  return HttpTransferStatusData::Create("node", status, 7);
}

// Every payload kind: what it maps to, whether a retry may help, and its one-line text.
TEST(TransferStatusDataTest, PayloadTable) {
  struct Row {
    const char* name;
    std::shared_ptr<TransferStatusData> payload;
    TransferError error;
    int retryable;  // -1: the payload has no retryable flag
    std::string text;
  };
  const Row rows[] = {
      {"error data", MakeTransferErrorData(TransferError::Internal, "Work has no package"),
       TransferError::Internal, -1, "error|9|Work has no package"},
      {"error data, empty message", MakeTransferErrorData(TransferError::Internal, ""),
       TransferError::Internal, -1, "error|9|"},
      {"exception data",
       MakeTransferExceptionData(TransferError::Network, Captured(std::runtime_error("x"))),
       TransferError::Network, -1, "error|2|std::runtime_error"},
      {"bad path", MakeTransferFileExceptionData(Captured(FileBadPathException())),
       TransferError::FileAccess, 0, "error|5|zarn::FileBadPathException"},
      {"in use", MakeTransferFileExceptionData(Captured(FileInUseException())),
       TransferError::FileAccess, 1, "error|5|zarn::FileInUseException"},
      {"inaccessible", MakeTransferFileExceptionData(Captured(FileInaccessibleException())),
       TransferError::FileAccess, 1, "error|5|zarn::FileInaccessibleException"},
      {"disk full", MakeTransferFileExceptionData(Captured(FileInsufficientSpaceException())),
       TransferError::DiskFull, 1, "error|4|zarn::FileInsufficientSpaceException"},
      {"out of bounds", MakeTransferFileExceptionData(Captured(FileOutOfBoundsException())),
       TransferError::Internal, 0, "error|9|zarn::FileOutOfBoundsException"},
      {"invalid map", MakeTransferFileExceptionData(Captured(FileInvalidMapException())),
       TransferError::File, 0, "error|7|zarn::FileInvalidMapException"},
      {"unknown file error", MakeTransferFileExceptionData(Captured(FileUnknownException())),
       TransferError::File, 0, "error|7|zarn::FileUnknownException"},
      {"bad_alloc", MakeTransferFileExceptionData(Captured(std::bad_alloc())),
       TransferError::OutOfMemory, 0, "error|3|std::bad_alloc"},
      {"runtime_error", MakeTransferFileExceptionData(Captured(std::runtime_error("r"))),
       TransferError::Internal, 0, "error|9|std::runtime_error"},
      {"not an exception", MakeTransferFileExceptionData(Captured(42)), TransferError::Internal, 0,
       "error|9|Unknown exception type"},
      {"http succeeded", Http(HttpRequestResult::Succeeded, ""), TransferError::None, -1, ""},
      {"http cancelled", Http(HttpRequestResult::Cancelled, "c"), TransferError::None, -1, ""},
      {"http timed out", Http(HttpRequestResult::TimedOut, "Timeout was reached"),
       TransferError::Network, -1, "error|2|12|Timeout was reached"},
      {"http write failed", Http(HttpRequestResult::WriteFailed, "w"), TransferError::File, -1,
       "error|7|10|w"},
      {"http idle", Http(HttpRequestResult::Idle, ""), TransferError::Internal, -1, "error|9|0|"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.payload->ToTransferError(), row.error);
    EXPECT_EQ(row.payload->ToString(), row.text);
    const auto* file = dynamic_cast<const TransferFileExceptionData*>(row.payload.get());
    EXPECT_EQ(file ? static_cast<int>(file->IsRetryable()) : -1, row.retryable);
  }
}

TEST(TransferStatusDataTest, HttpResultsMapToTransferErrors) {
  const TransferError expected[] = {
      TransferError::Internal, TransferError::Internal,    TransferError::None,
      TransferError::None,     TransferError::Request,     TransferError::Network,
      TransferError::Network,  TransferError::Network,     TransferError::Network,
      TransferError::Network,  TransferError::File,        TransferError::Network,
      TransferError::Network,  TransferError::OutOfMemory, TransferError::Request};
  for (unsigned result = 0; result < 15; ++result) {
    EXPECT_EQ(ToTransferError(static_cast<HttpRequestResult>(result)), expected[result]) << result;
  }
  EXPECT_EQ(ToTransferError(static_cast<HttpRequestResult>(255)), TransferError::Internal);
}

TEST(TransferStatusDataTest, Descriptions) {
  boost::property_tree::ptree error;
  MakeTransferErrorData(TransferError::Internal, "m")->Describe(error);
  ASSERT_EQ(error.size(), 2u);
  EXPECT_EQ(error.begin()->first, "transferError");
  EXPECT_EQ(error.get<std::string>("transferError"), "9");  // digits, not a character
  EXPECT_EQ(error.get<std::string>("errorMessage"), "m");

  boost::property_tree::ptree exception;
  MakeTransferFileExceptionData(Captured(FileInUseException()))->Describe(exception);
  EXPECT_EQ(exception.begin()->first, "transferError");
  EXPECT_EQ(exception.get<std::string>("transferError"), "5");
  EXPECT_EQ(exception.get<std::string>("exception"), "zarn::FileInUseException");

  HttpRequestStatus status(HttpRequestResult::ServerError, 1234);
  status.httpCode = 503;
  status.serverIp = "127.0.0.1";
  status.message = "HTTP 503";
  boost::property_tree::ptree http;
  HttpTransferStatusData::Create("h:81", status, 250)->Describe(http);
  const std::pair<const char*, const char*> keys[] = {
      {"hostname", "h:81"},        {"ip", "127.0.0.1"},      {"httpResult", "8"},
      {"httpResponseCode", "503"}, {"bytesWritten", "1234"}, {"errorDetails", "HTTP 503"},
      {"requestTimeMs", "250"}};
  ASSERT_EQ(http.size(), 7u);
  auto child = http.begin();
  for (const auto& key : keys) {
    EXPECT_EQ(child->first, key.first);
    EXPECT_EQ((child++)->second.data(), key.second);
  }
}

}  // namespace
}  // namespace zarn
