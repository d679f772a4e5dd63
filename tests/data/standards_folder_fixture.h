#pragma once
// A folder holding a course's standards tables (copied from the peer-made set),
// open, with helpers to fill and read them.
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
#include "support/test_support.h"

namespace testing_support {

using Node = std::tuple<long, long, long, long, std::string>;  // tree, node, parent, order, descript
using Link = std::tuple<long, long, long>;                      // tree, node, quest

inline std::filesystem::path PeerMade() { return testing_support::SharedDir() / "fixtures/xbase/peer-made"; }

// A course folder holding the schema's standards tables, copied from the peer-made set.
struct StandardsFolder {
  StandardsFolder() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    for (const char* name : {"standard.dbf", "standard.cdx", "StanQues.dbf", "StanQues.cdx"}) {
      std::filesystem::copy_file(PeerMade() / name, dir.path() / name);
      std::filesystem::permissions(dir.path() / name, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    }
    Open();
  }
  ~StandardsFolder() {
    tolvarin::CloseTableRecord(nodes);
    tolvarin::CloseTableRecord(links);
  }
  void Open() {
    tolvarin::OpenStandardTable(dir.str(), "", nodes);
    tolvarin::OpenStanQuesTable(dir.str(), links);
    EXPECT_NE(nodes.Data, 0);
    EXPECT_NE(links.Data, 0);
  }
  void Fill(const std::vector<Node>& nodeRows, const std::vector<Link>& linkRows) {
    tolvarin::ZapTable(nodes.Data);
    for (const auto& [tree, node, parent, order, descript] : nodeRows) {
      tolvarin::AppendBlank(nodes.Data);
      xbase::f4assignLong(nodes.Tree_id, tree);
      xbase::f4assignLong(nodes.Node_id, node);
      xbase::f4assignLong(nodes.Parent_id, parent);
      xbase::f4assignLong(nodes.Order, order);
      xbase::f4assign(nodes.Descript, descript);
      ASSERT_EQ(xbase::d4append(nodes.Data), 0);
    }
    tolvarin::ZapTable(links.Data);
    for (const auto& [tree, node, quest] : linkRows) {
      tolvarin::AppendBlank(links.Data);
      xbase::f4assignLong(links.Tree_id, tree);
      xbase::f4assignLong(links.Node_id, node);
      xbase::f4assignLong(links.Quest_id, quest);
      ASSERT_EQ(xbase::d4append(links.Data), 0);
    }
  }
  // Every row that is not marked deleted, sorted.
  std::vector<Node> Nodes() {
    std::vector<Node> rows;
    xbase::d4tagSelect(nodes.Data, 0);
    for (int code = xbase::d4top(nodes.Data); code == 0; code = xbase::d4skip(nodes.Data, 1)) {
      if (xbase::d4deleted(nodes.Data)) continue;
      rows.emplace_back(xbase::f4long(nodes.Tree_id), xbase::f4long(nodes.Node_id), xbase::f4long(nodes.Parent_id),
                        xbase::f4long(nodes.Order), tolvarin::Trim(xbase::f4str(nodes.Descript)));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  std::vector<Link> Links() {
    std::vector<Link> rows;
    xbase::d4tagSelect(links.Data, 0);
    for (int code = xbase::d4top(links.Data); code == 0; code = xbase::d4skip(links.Data, 1)) {
      if (xbase::d4deleted(links.Data)) continue;
      rows.emplace_back(xbase::f4long(links.Tree_id), xbase::f4long(links.Node_id), xbase::f4long(links.Quest_id));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  testing_support::TempDir dir;
  tolvarin::StandardRecord nodes;
  tolvarin::StanQuesRecord links;
};

}  // namespace testing_support
