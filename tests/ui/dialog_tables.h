#pragma once
// A small installation for the dialogs that work on real tables: the databases
// root with its Blank folder, the brand folder Corvane with students, and one
// course Math/Algebra in the catalogue.
#include <filesystem>

#include "engine/gradebook_fixture.h"
#include "support/test_support.h"
#include "ui_fixture.h"

namespace ui_testing {

class DialogTablesTest : public WindowTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::vector<std::string> Students() const;

  testing_support::TempDir temp_;
  std::filesystem::path root_, blank_, brand_, course_;
};

}  // namespace ui_testing
