// makecourse FOLDER [--questions N] [--seed S]: lays out a host installation with
// one realistic course under FOLDER/Host and says where it put it.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "course_maker.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: makecourse FOLDER [--questions N] [--seed S]\n";
    return 2;
  }
  course_maker::CourseOptions options;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const long value = std::strtol(argv[i + 1], nullptr, 10);
    if (key == "--questions") {
      options.questions = static_cast<int>(value);
    } else if (key == "--seed") {
      options.seed = static_cast<std::uint32_t>(value);
    } else {
      std::cerr << "makecourse: unknown option " << key << "\n";
      return 2;
    }
  }
  try {
    const auto made = course_maker::MakeCourse(argv[1], options);
    const auto& c = made.content;
    std::cout << "AppPath " << made.install.app << "\n"
              << "CoursePath " << made.install.course << "\n"
              << c.questions.size() << " questions, " << c.descriptions.size() << " descriptions, "
              << c.exams.size() << " exams, " << c.examQuestions.size() << " exam questions, " << c.nodes.size()
              << " standards nodes, " << c.links.size() << " links, " << c.classes.size() << " classes, "
              << c.students.size() << " students, " << c.sessions.size() << " sessions, "
              << c.sessionQuestions.size() << " session questions, " << c.results.size() << " results, "
              << c.activities.size() << " activities, " << c.attributes.size() << " attribute rows, "
              << c.imageIds.size() << " images\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
