#pragma once
// The course maker: a realistic host installation with one filled course, for the
// transfer tests, the benchmarks and the demo.
//
// How to use it (link the static library `course_maker`):
//
//   course_maker::CourseOptions options;        // seed 1, 2,000 questions
//   options.questions = 500;
//   const course_maker::MadeCourse made = course_maker::MakeCourse("/tmp/x", options);
//   // made.install.app      AppPath: Kestal.INI, kestal.exe, gradebook.exe
//   // made.install.databases, .blank, .brand, .area, .course: the folders
//   // made.content          every row written, to check results against
//
// MakeInstallation lays out an installation without a course's rows (the Blank
// folder by the system's own CreateBlankTables, the brand folder with its users,
// the area with area.ini and the course folder with course.ini, course.dat and
// blank tables); FillCourse fills a course folder of blank tables. Both are
// deterministic by the seed: the same options give the same bytes of content.
// A second, differently seeded course in the same area (AddCourse) makes the
// destination of a transfer test.
//
// The engine must not have these tables open; the maker opens, fills and closes
// them itself and leaves the process-wide settings as it found them. On the
// command line: makecourse FOLDER [--questions N] [--seed S].
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace course_maker {

struct CourseOptions {
  std::uint32_t seed = 1;
  int questions = 2000;  // publisher (below 20000) and user questions (from 20000) together; at most 28998
  std::string areaFolder = "Science";
  std::string areaName = "Science";
  int areaId = 1;
  std::string courseFolder = "Biology";
  std::string courseName = "Biology";
  int courseId = 3;  // the slot in the area, 0 to 19
  bool siblings = true;  // kestal.exe and gradebook.exe in AppPath (test and gradebook content)
};

struct Installation {
  std::string app;        // AppPath
  std::string databases;  // the databases root, app/Databases
  std::string blank;      // databases/Blank
  std::string brand;      // databases/Corvane
  std::string area;
  std::string course;
};

// What the maker wrote, row by row, in the order written. Identifiers are numbers.
struct QuestionRow {
  std::int32_t id = 0, descriptId = 0, userId = 0;
  std::array<std::int32_t, 5> pictures{};  // answer1pct..answer5pct, 0 for none
  bool deleted = false;
};
struct DescriptionRow {
  std::int32_t id = 0, imageId = 0;
};
struct QuesTypeRow {
  std::int32_t questId = 0, type = 0;
};
struct ExamRow {
  std::int32_t id = 0, userId = 0, printId = 0;
  std::string name;
};
struct ExamQuestionRow {
  std::int32_t id = 0, examId = 0, questId = 0;
};
struct PrintOptRow {
  std::int32_t id = 0, userId = 0;
};
struct NodeRow {
  std::int32_t tree = 0, node = 0, parent = 0;
};
struct LinkRow {
  std::int32_t tree = 0, node = 0, questId = 0;
};
struct ClassRow {
  std::int32_t id = 0, userId = 0;
  std::string section;
};
struct StudentRow {
  std::int32_t id = 0, classId = 0;
};
struct SessionRow {
  std::int32_t id = 0, examId = 0, classId = 0;
  std::string name;
};
struct SesQuestRow {
  std::int32_t id = 0, sessionId = 0, questId = 0;
};
struct ResultRow {
  std::int32_t sesQuesId = 0, studentId = 0;
};
struct ActivityRow {
  std::int32_t id = 0, sessionId = 0;  // sessionId 0: a free activity
  std::string name;
  std::vector<std::int32_t> questionIds;  // the <question_id> elements of its blob
  std::vector<std::int32_t> nodeIds;      // the <node_id> elements
  bool deleted = false;
};
struct AttributeRow {
  std::string valueTable;  // "charattributes", "enumattributes" or "memoattributes"
  std::string tableName;   // the row's table, upper case ("QUESTS", "EXAMS")
  std::int32_t rowId = 0;
  std::string attrKey;
};
struct UserRow {
  std::int32_t id = 0;
  std::string name;
};

struct CourseContent {
  std::vector<UserRow> users;  // the teachers added to the brand's users (the built-in ones not listed)
  std::vector<QuestionRow> questions;
  std::vector<DescriptionRow> descriptions;
  std::vector<QuesTypeRow> questionTypes;
  std::vector<ExamRow> exams;
  std::vector<ExamQuestionRow> examQuestions;
  std::vector<PrintOptRow> printOptions;  // the user rows (the default row 1 not listed)
  std::vector<NodeRow> nodes;
  std::vector<LinkRow> links;
  std::vector<ClassRow> classes;
  std::vector<StudentRow> students;
  std::vector<SessionRow> sessions;
  std::vector<SesQuestRow> sessionQuestions;
  std::vector<ResultRow> results;
  std::vector<ActivityRow> activities;
  std::vector<AttributeRow> attributes;
  std::vector<std::int32_t> imageIds;  // every image file written, ascending
  std::vector<std::string> imageFiles;  // their file names, in the same order

  const QuestionRow* Question(std::int32_t id) const;
  const ExamRow* Exam(std::int32_t id) const;
  const DescriptionRow* Description(std::int32_t id) const;
};

struct MadeCourse {
  Installation install;
  CourseContent content;
};

// The installation under folder (made when missing), with an empty course.
Installation MakeInstallation(const std::string& folder, const CourseOptions& options);
// Another course folder in the installation's area, of blank tables, registered in area.ini.
std::string AddCourse(const Installation& install, const std::string& folderName, int courseId,
                      const std::string& displayName);
// Fills a course folder of blank tables; teachers are added to the brand's users table
// (the brand folder is the course folder's grandparent).
CourseContent FillCourse(const std::string& courseFolder, const CourseOptions& options);
// Both.
MadeCourse MakeCourse(const std::string& folder, const CourseOptions& options = {});

// Image file bytes for an identifier (a tiny GIF naming it), as the maker writes them.
std::string ImageBytes(std::int32_t id);

}  // namespace course_maker
