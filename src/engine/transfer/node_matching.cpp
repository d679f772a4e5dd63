#include "engine/transfer/node_matching.h"

#include <set>
#include <tuple>

#include "core/strings.h"
#include "data/standards.h"
#include "engine/transfer/table_access.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;

struct Node {
  std::int16_t tree = 0;
  std::int32_t node = 0, parent = 0, order = 0;
  std::string descript;
};

Node Read(const StandardRecord& r) {
  return {static_cast<std::int16_t>(Number(r.Tree_id)), Number(r.Node_id), Number(r.Parent_id), Number(r.Order),
          Trim(xbase::f4memoStr(r.Descript))};
}

// What places a node among its siblings: tree, parent, order and description.
using Place = std::tuple<std::int16_t, std::int32_t, std::int32_t, std::string>;

class Matcher {
 public:
  Matcher(const StandardRecord& src, const StandardRecord& dest, const std::vector<std::string>& keys) {
    std::set<std::int16_t> trees;
    for (const std::string& key : keys) {
      if (!Seek(src.Data, src.StandardIDTag, key) || xbase::d4deleted(src.Data)) continue;
      const Node node = Read(src);
      selected_[key] = node;
      trees.insert(node.tree);
    }
    if (dest.Data == 0 || trees.empty()) return;
    xbase::d4tagSelect(dest.Data, 0);
    for (int rc = xbase::d4top(dest.Data); rc == xbase::kSuccess; rc = xbase::d4skip(dest.Data, 1)) {
      if (xbase::d4deleted(dest.Data)) continue;
      const Node node = Read(dest);
      if (trees.count(node.tree)) there_[{node.tree, node.parent, node.order, node.descript}].insert(node.node);
    }
  }

  std::map<std::string, std::string> Run(const std::vector<std::string>& keys) {
    std::map<std::string, std::string> matched;
    for (const std::string& key : keys) {
      const std::int32_t node = Resolve(key);
      if (node > 0) matched[key] = StandardKeyString(selected_.at(key).tree, node);
    }
    return matched;
  }

 private:
  // The destination node the source node is, 0 for none; the parent is resolved first.
  std::int32_t Resolve(const std::string& key) {
    const auto known = resolved_.find(key);
    if (known != resolved_.end()) return known->second;
    resolved_[key] = 0;  // a loop of parents matches nothing
    const auto found = selected_.find(key);
    if (found == selected_.end()) return 0;
    const Node& node = found->second;
    std::int32_t parent = node.parent;
    const std::string parentKey = StandardKeyString(node.tree, node.parent);
    if (node.parent != 0 && selected_.count(parentKey)) {
      parent = Resolve(parentKey);
      if (parent == 0) return 0;
    }
    const auto candidates = there_.find({node.tree, parent, node.order, node.descript});
    if (candidates == there_.end() || candidates->second.empty()) return 0;
    std::set<std::int32_t>& free = candidates->second;
    const auto same = free.find(node.node);
    const std::int32_t match = same != free.end() ? *same : *free.begin();
    free.erase(match);
    return resolved_[key] = match;
  }

  std::map<std::string, Node> selected_;
  std::map<Place, std::set<std::int32_t>> there_;  // destination nodes not matched yet
  std::map<std::string, std::int32_t> resolved_;
};

}  // namespace

std::map<std::string, std::string> MatchNodesAlreadyThere(const StandardRecord& src, const StandardRecord& dest,
                                                          const std::vector<std::string>& keys) {
  Matcher matcher(src, dest, keys);
  return matcher.Run(keys);
}

}  // namespace tolvarin
