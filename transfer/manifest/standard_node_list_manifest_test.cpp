#include "transfer/manifest/standard_node_list_manifest.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/manifest/standard_node_manifest.h"
#include "transfer/manifest/xml_manifest_tree.h"
#include "transfer/optimizer/node_statistics.h"

namespace zarn {
namespace {

void ReadNodeList(const std::string& xml, StandardNodeListManifest& list) {
  boost::property_tree::ptree tree;
  ParseXmlManifest(xml, tree);
  list.Read(tree);
}

std::string Node(const std::string& id, const std::string& host) {
  return "<NodeInfo><NodeId>" + id + "</NodeId><Host>" + host + "</Host></NodeInfo>";
}

TEST(StandardNodeListManifestTest, ReadsNodesInDocumentOrder) {
  StandardNodeListManifest list;
  ReadNodeList(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<ArrayOfNodeInfo xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      "                 xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n"
      "  " +
          Node("n1", "127.0.0.1:18081") +
          "\n  <!-- a comment -->\n"
          "  " +
          Node("n2", "[::1]:8080") +
          "\n"
          "  <Other>skipped</Other>\n"
          "  <NodeInfo NodeId=\"n3\"><Host>h3</Host><Extra/></NodeInfo>\n"
          "  " +
          Node("n1", "again.example") +
          "\n"
          "</ArrayOfNodeInfo>\n",
      list);
  const auto& nodes = list.GetNodes();
  ASSERT_EQ(nodes.size(), 4u);
  const std::pair<const char*, const char*> expected[] = {
      {"n1", "127.0.0.1:18081"}, {"n2", "[::1]:8080"}, {"n3", "h3"}, {"n1", "again.example"}};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(nodes[i]->GetNodeId(), expected[i].first);
    EXPECT_EQ(nodes[i]->GetHost(), expected[i].second);
  }
}

TEST(StandardNodeListManifestTest, RejectsInvalidLists) {
  const std::pair<const char*, std::string> cases[] = {
      {"wrong root", "<Nodes>" + Node("n", "h") + "</Nodes>"},
      {"no NodeInfo", "<ArrayOfNodeInfo><!-- none --></ArrayOfNodeInfo>"},
      {"NodeId missing", "<ArrayOfNodeInfo><NodeInfo><Host>h</Host></NodeInfo></ArrayOfNodeInfo>"},
      {"Host missing",
       "<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId></NodeInfo></ArrayOfNodeInfo>"},
      {"NodeId empty in one node",
       "<ArrayOfNodeInfo>" + Node("n", "h") + Node("", "h") + "</ArrayOfNodeInfo>"},
      {"NodeId white space only", "<ArrayOfNodeInfo>" + Node("\r\n", "h") + "</ArrayOfNodeInfo>"},
      {"Host empty", "<ArrayOfNodeInfo>" + Node("n", "") + "</ArrayOfNodeInfo>"},
      {"Host white space only",
       "<ArrayOfNodeInfo>" + Node("n", "h") + Node("m", " \n\t ") + "</ArrayOfNodeInfo>"},
      {"malformed XML", "<ArrayOfNodeInfo>" + Node("n", "h")},
      // A host goes into chunk URLs as it is: only a name or an address with a port.
      {"Host with blanks", "<ArrayOfNodeInfo>" + Node("n", " h ") + "</ArrayOfNodeInfo>"},
      {"Host with a path", "<ArrayOfNodeInfo>" + Node("n", "h/evil?x=") + "</ArrayOfNodeInfo>"},
      {"Host with credentials",
       "<ArrayOfNodeInfo>" + Node("n", "user:pw@h") + "</ArrayOfNodeInfo>"},
      {"Host as an attribute",
       "<ArrayOfNodeInfo><NodeInfo NodeId=\"n\" Host=\"h#\"/></ArrayOfNodeInfo>"},
      {"Host longer than a name", "<ArrayOfNodeInfo>" + Node("n", "h") +
                                      Node("m", std::string(254, 'a')) + "</ArrayOfNodeInfo>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    StandardNodeListManifest list;
    EXPECT_THROW(ReadNodeList(c.second, list), ManifestParseException);
  }
}

// The nodes are counted before any is built.
TEST(StandardNodeListManifestTest, AtMostTenThousandNodes) {
  auto list = [](std::size_t count) {
    std::string xml = "<ArrayOfNodeInfo>";
    for (std::size_t i = 0; i < count; ++i) xml += Node("n" + std::to_string(i), "h");
    return xml + "</ArrayOfNodeInfo>";
  };
  StandardNodeListManifest most;
  ReadNodeList(list(kMaxNodes), most);
  EXPECT_EQ(most.GetNodes().size(), kMaxNodes);
  StandardNodeListManifest tooMany;
  EXPECT_THROW(ReadNodeList(list(kMaxNodes + 1), tooMany), ManifestParseException);
}

TEST(StandardNodeManifestTest, WritesHostAndStatistics) {
  boost::property_tree::ptree node;
  node.put("NodeId", "n1");
  node.put("Host", "h1:80");
  StandardNodeManifest manifest(node);

  boost::property_tree::ptree fresh;
  manifest.Write(fresh);
  EXPECT_EQ(fresh.get<std::string>("Node"), "h1:80");
  EXPECT_EQ(fresh.get<std::string>("Requests"), "0");
  EXPECT_EQ(fresh.get<std::string>("Errors"), "0");
  EXPECT_EQ(fresh.get<std::string>("Bytes"), "0");
  EXPECT_EQ(fresh.get<std::string>("Average Request Speed"), "0");
  EXPECT_FALSE(fresh.get_optional<std::string>("NodeId"));

  manifest.GetStatistics().Record(4000, 2000, false);
  boost::property_tree::ptree used;
  manifest.Write(used);
  EXPECT_EQ(used.get<std::string>("Requests"), "1");
  EXPECT_EQ(used.get<std::string>("Average Request Speed"), "2000");
}

}  // namespace
}  // namespace zarn
