#pragma once
// A file or folder that even root cannot change, through its attribute flags (as
// chattr sets them): immutable, as a file the host holds open, or append-only, which
// a look at its permissions does not tell. The flag goes when the object does.
#include <filesystem>

namespace testing_support {

class HeldFile {
 public:
  enum class Hold { Immutable, AppendOnly };
  explicit HeldFile(std::filesystem::path path, Hold hold = Hold::Immutable);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  // Whether the flag could be set here (root, on a file system that keeps it).
  bool Works() const { return set_; }

 private:
  std::filesystem::path path_;
  long flag_ = 0;
  bool set_ = false;
};

}  // namespace testing_support
