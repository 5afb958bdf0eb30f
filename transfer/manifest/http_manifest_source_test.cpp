// Which failure a manifest fetch raises for each request result: a locator failure is
// fatal to the transfer, a stream failure is retried.

#include "transfer/manifest/http_manifest_source.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/xml_http_manifest_source.h"
#include "transfer/testing/transfer_fakes.h"

namespace zarn {
namespace {

enum class Raised { Nothing, Locator, Stream, BadAlloc, Other };

// What Read raises, and the exception's text.
Raised ReadWith(const fakes::ScriptedAnswer& answer, std::string& out, std::string* message) {
  fakes::ScriptedHttpRequestFactory requests({answer});
  XmlHttpManifestSource source("http://127.0.0.1:9/manifests/p.xml", &requests, nullptr, 5, 30);
  try {
    source.Read("ignored", out);
    return Raised::Nothing;
  } catch (const ManifestLocatorException& e) {
    *message = e.what();
    return Raised::Locator;
  } catch (const ManifestStreamException& e) {
    *message = e.what();
    return Raised::Stream;
  } catch (const std::bad_alloc&) {
    return Raised::BadAlloc;
  } catch (...) {
    return Raised::Other;
  }
}

TEST(HttpManifestSourceTest, RequestResultDecidesTheFailure) {
  const struct {
    int result;
    Raised raised;
  } cases[] = {
      {0, Raised::Stream},  {1, Raised::Stream},    {2, Raised::Nothing}, {3, Raised::Stream},
      {4, Raised::Locator}, {5, Raised::Stream},    {6, Raised::Stream},  {7, Raised::Locator},
      {8, Raised::Stream},  {9, Raised::Stream},    {10, Raised::Stream}, {11, Raised::Stream},
      {12, Raised::Stream}, {13, Raised::BadAlloc}, {14, Raised::Stream}, {255, Raised::Stream},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    std::string out;
    std::string message;
    const auto result = static_cast<HttpRequestResult>(c.result);
    const std::string text = result == HttpRequestResult::Succeeded ? "" : "what went wrong";
    EXPECT_EQ(ReadWith({result, "<x/>", text}, out, &message), c.raised);
    if (c.raised == Raised::Locator || c.raised == Raised::Stream) {
      EXPECT_EQ(message, "what went wrong");
    }
  }
}

TEST(HttpManifestSourceTest, TheBodyOfASuccessIsTheManifestText) {
  std::string message;
  std::string text;
  EXPECT_EQ(ReadWith({HttpRequestResult::Succeeded, "<package/>", ""}, text, &message),
            Raised::Nothing);
  EXPECT_EQ(text, "<package/>");
}

}  // namespace
}  // namespace zarn
