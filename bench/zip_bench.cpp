// zip_bench FOLDER [QUESTIONS]: times the package zip and unzip on the course maker's
// realistic course (20,000 questions unless told): the course's table files and
// images zipped flat into a package (written, reopened and checked, as a backup's
// package is) and extracted again into a fresh folder. Beside each figure, a floor
// measured in the same run on the same files: Info-ZIP's `zip -q` and `unzip -q`,
// and the ratio. The course and the packages stay in FOLDER.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "course_maker.h"
#include "platform/zip/zip.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Report(const char* what, double seconds, const char* floorName, double floor) {
  std::printf("%-28s %8.3f s   floor (%s) %8.3f s   ratio %5.2f\n", what, seconds, floorName, floor,
              floor > 0 ? seconds / floor : 0.0);
}

double Shell(const std::string& command) {
  const auto start = Clock::now();
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zip_bench FOLDER [QUESTIONS]\n");
    return 2;
  }
  const fs::path folder = fs::absolute(argv[1]);
  course_maker::CourseOptions options;
  options.questions = argc > 2 ? std::atoi(argv[2]) : 20000;
  fs::remove_all(folder);
  fs::create_directories(folder);
  const auto made = course_maker::MakeCourse((folder / "install").string(), options);

  std::vector<std::string> files;
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(made.install.course))
    if (entry.is_regular_file()) {
      files.push_back(entry.path().string());
      bytes += entry.file_size();
    }
  std::printf("course: %d questions, %zu files, %.1f MB\n", options.questions, files.size(), bytes / 1048576.0);

  const std::string ours = (folder / "ours.zip").string(), theirs = (folder / "infozip.zip").string();
  // Warm the page cache so neither side pays for the first read.
  Shell("cat " + made.install.course + "/* > /dev/null");
  const double infoZip = Shell("cd '" + made.install.course + "' && zip -q -j '" + theirs + "' *");
  auto start = Clock::now();
  const zipio::Outcome written = zipio::WriteArchive(ours, files);
  const double zipped = Since(start);
  if (!written.ok) {
    std::fprintf(stderr, "zip failed: %s\n", written.error.c_str());
    return 1;
  }
  Report("zip (written and checked)", zipped, "zip -q", infoZip);
  std::printf("  package %.1f MB, Info-ZIP's %.1f MB\n", fs::file_size(ours) / 1048576.0,
              fs::file_size(theirs) / 1048576.0);

  const double infoUnzip = Shell("unzip -q '" + theirs + "' -d '" + (folder / "infozip-out").string() + "'");
  start = Clock::now();
  const zipio::Outcome extracted = zipio::ExtractAll(ours, (folder / "ours-out").string(), "");
  const double unzipped = Since(start);
  if (!extracted.ok) {
    std::fprintf(stderr, "unzip failed: %s\n", extracted.error.c_str());
    return 1;
  }
  Report("unzip (all checked)", unzipped, "unzip -q", infoUnzip);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory %.1f MB (the course maker's included)\n", usage.ru_maxrss / 1024.0);
  return 0;
}
