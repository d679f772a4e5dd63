#include "data/standards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/strings.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_registry.h"
#include "data/standards_folder_fixture.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

using testing_support::Link;
using testing_support::Node;
using testing_support::PeerMade;
using testing_support::StandardsFolder;

TEST(StandardKey, TextIsTreeInThreeAndNodeInSevenCharacters) {
  EXPECT_EQ(StandardKeyString(5, 123), "  5    123");
  EXPECT_EQ(StandardKeyToString(MakeStandardKey(1, 20001)), "  1  20001");
  EXPECT_EQ(StandardKeyString(-2, 1), " -2      1");
  const struct {
    const char* text;
    StandardKey key;
  } cases[] = {{"  5    123", {5, 123}}, {"  1  20001", {1, 20001}}, {" -2      1", {-2, 1}}, {"999 9999999", {999, 9999999}}};
  for (const auto& c : cases) EXPECT_EQ(ParseStandardKey(c.text), c.key) << c.text;
}

TEST(StandardTrees, DeletionKeepsUserNodesAndLinksToUserQuestions) {
  StandardsFolder folder;
  folder.Fill({{5, 100, 1, 1, "publisher"},
               {5, 18999, 100, 2, "last publisher"},
               {5, 20000, 100, 3, "user"},
               {6, 100, 1, 1, "other tree"}},
              {{5, 100, 500}, {5, 100, 20001}, {5, 18999, 500}, {6, 100, 500}});
  DeleteStandardTree(folder.nodes, folder.links, 5);
  EXPECT_EQ(folder.Nodes(), (std::vector<Node>{{5, 20000, 100, 3, "user"}, {6, 100, 1, 1, "other tree"}}));
  EXPECT_EQ(folder.Links(), (std::vector<Link>{{5, 100, 20001}, {5, 18999, 500}, {6, 100, 500}}));
  // Packed: the deleted rows are gone from the files.
  EXPECT_EQ(xbase::d4recCount(folder.nodes.Data), 2);
  EXPECT_EQ(xbase::d4recCount(folder.links.Data), 3);
}

TEST(StandardTrees, DeletionOnPeerMadeTablesTouchesOnlyThatTreesPublisherRows) {
  StandardsFolder folder;
  const std::vector<Node> before = folder.Nodes();
  const std::vector<Link> beforeLinks = folder.Links();
  std::vector<Node> expected;
  std::copy_if(before.begin(), before.end(), std::back_inserter(expected),
               [](const Node& n) { return !(std::get<0>(n) == 5 && std::get<1>(n) <= 18999); });
  std::vector<Link> expectedLinks;
  std::copy_if(beforeLinks.begin(), beforeLinks.end(), std::back_inserter(expectedLinks), [](const Link& l) {
    return !(std::get<0>(l) == 5 && std::get<1>(l) < 18999 && std::get<2>(l) < 18999);
  });
  ASSERT_LT(expected.size(), before.size());
  ASSERT_LT(expectedLinks.size(), beforeLinks.size());

  DeleteStandardTree(folder.nodes, folder.links, 5);
  EXPECT_EQ(folder.Nodes(), expected);
  EXPECT_EQ(folder.Links(), expectedLinks);
  EXPECT_EQ(xbase::d4recCount(folder.nodes.Data), static_cast<long>(expected.size()));
}

TEST(StandardTrees, ImportReplacesThePublisherPartOfEachSourceTree) {
  StandardsFolder source, destination;
  source.Fill({{1, 10, 1, 1, "new ten"}, {1, 11, 10, 2, "eleven"}, {2, 5, 1, 1, "tree two"}},
              {{1, 10, 300}, {2, 5, 301}});
  destination.Fill({{1, 10, 1, 1, "old ten"},
                    {1, 12, 10, 3, "twelve"},
                    {1, 20001, 10, 4, "user node"},
                    {3, 7, 1, 1, "tree three"}},
                   {{1, 10, 300}, {1, 12, 400}, {1, 12, 20002}, {3, 7, 500}});
  ImportStandardTrees(source.nodes, source.links, destination.nodes, destination.links);

  EXPECT_EQ(destination.Nodes(), (std::vector<Node>{{1, 10, 1, 1, "new ten"},
                                                     {1, 11, 10, 2, "eleven"},
                                                     {1, 20001, 10, 4, "user node"},
                                                     {2, 5, 1, 1, "tree two"},
                                                     {3, 7, 1, 1, "tree three"}}));
  EXPECT_EQ(destination.Links(), (std::vector<Link>{{1, 10, 300}, {1, 12, 20002}, {2, 5, 301}, {3, 7, 500}}));
  // The merged tables stay open, their tags rebuilt.
  ASSERT_NE(destination.nodes.Data, 0);
  EXPECT_TRUE(SeekTag(destination.nodes.Data, destination.nodes.StandardIDTag, StandardKeyString(2, 5)));
  EXPECT_NE(source.nodes.Data, 0);
}

TEST(StandardTrees, ImportIntoAnEmptyDestinationCopiesTheSourceFiles) {
  testing_support::TempDir sourceDir;
  testing_support::CopyFolder(PeerMade(), sourceDir.path());
  StandardRecord srcNodes;
  StanQuesRecord srcLinks;
  OpenStandardTable(sourceDir.str(), "", srcNodes);
  OpenStanQuesTable(sourceDir.str(), srcLinks);
  ASSERT_NE(srcNodes.Data, 0);

  StandardsFolder destination;
  destination.Fill({}, {{1, 1, 1}});
  // The destination's link table under a name in another case than the source's.
  CloseTableRecord(destination.links);
  for (const char* ext : {".dbf", ".cdx"}) {
    fs::rename(destination.dir.path() / (std::string("StanQues") + ext),
               destination.dir.path() / (std::string("stanques") + ext));
  }
  OpenStanQuesTable(destination.dir.str(), destination.links);
  ASSERT_NE(destination.links.Data, 0);

  ImportStandardTrees(srcNodes, srcLinks, destination.nodes, destination.links);
  EXPECT_EQ(srcNodes.Data, 0);
  EXPECT_EQ(srcLinks.Data, 0);
  EXPECT_EQ(destination.nodes.Data, 0);
  EXPECT_EQ(destination.links.Data, 0);

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(destination.dir.path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"standard.cdx", "standard.dbf", "stanques.cdx", "stanques.dbf"}));
  const struct {
    const char *from, *to;
  } files[] = {{"standard.dbf", "standard.dbf"}, {"standard.cdx", "standard.cdx"},
               {"StanQues.dbf", "stanques.dbf"}, {"StanQues.cdx", "stanques.cdx"}};
  for (const auto& f : files) {
    EXPECT_EQ(testing_support::ReadFile(destination.dir.path() / f.to), testing_support::ReadFile(PeerMade() / f.from))
        << f.to;
  }
}

TEST(StandardTrees, ImportLeavesADestinationThatIsNotOpenAlone) {
  StandardsFolder source, destination;
  source.Fill({{1, 10, 1, 1, "ten"}}, {{1, 10, 300}});
  destination.Fill({{1, 20001, 1, 1, "user node"}}, {{1, 20001, 20002}});
  ASSERT_EQ(xbase::d4flush(destination.links.Data), 0);
  CloseTableRecord(destination.nodes);
  const std::string links = testing_support::ReadFile(destination.dir.path() / "StanQues.dbf");
  ImportStandardTrees(source.nodes, source.links, destination.nodes, destination.links);
  EXPECT_NE(destination.links.Data, 0);
  EXPECT_NE(source.nodes.Data, 0);
  CloseTableRecord(destination.links);
  EXPECT_EQ(testing_support::ReadFile(destination.dir.path() / "StanQues.dbf"), links);
}

}  // namespace
}  // namespace tolvarin
