// The real program, started as the host starts it, on a host folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/read_only_folder.h"
#include "core/terminate.h"
#include "core/time_stamp.h"
#include "engine/startup.h"
#include "host_run.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;

namespace {

const std::regex kBeginLine(R"(Begin Log: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
const std::regex kEndLine(R"(End Log: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");

constexpr const char* kMustRunFromHost =
    "The Corvane Backup and Restore System must be run from the Kestal Test Maker.  Please call 1-888-CORVANE for "
    "more information.";

bool IsNotAvailableBox(const tolvarin::ShownBox& box) {
  return box.kind == "System" && box.box.text.find("not available yet") != std::string::npos;
}

class StartupProcess : public ::testing::Test {
 protected:
  HostRun host;
};

TEST_F(StartupProcess, EmptyCommandLineStopsWithTheCriticalBox) {
  const RunResult run = host.Run({});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(run.boxes.size(), 1u) << run.stderrText;
  EXPECT_EQ(run.boxes[0].kind, "System");
  EXPECT_EQ(run.boxes[0].box.text, kMustRunFromHost);
  EXPECT_EQ(run.boxes[0].box.icon, 16);
  EXPECT_EQ(run.boxes[0].box.captions, (std::vector<std::string>{"OK"}));
  EXPECT_TRUE(run.settings.empty());
}

TEST_F(StartupProcess, UserContentRunLogsItsStepsAndTheEndLine) {
  host.HostIni("");
  const std::string course = host.At("db/Corvane/Area/Course");
  fs::create_directories(course);
  fs::create_directories(host.At("Backups"));
  for (const char* mode : {"Mode:UserContent", "Mode:"}) {
    fs::remove(host.At("tolvarin.log"));
    // A restore from a folder that is no backup ends with its message, normally.
    const RunResult run = host.RunHere({mode, "Operation:RESTORE", "BackupPath:Backups", "CoursePath:" + course});
    EXPECT_EQ(run.status, tolvarin::kOperationFailedStatus) << mode;
    const std::vector<std::string> lines = host.LogLines();
    ASSERT_GE(lines.size(), 8u) << host.Log();
    EXPECT_TRUE(std::regex_match(lines[0], kBeginLine));
    EXPECT_EQ(lines[1], "Mode = 0");
    EXPECT_EQ(lines[2], "Backuppath = " + host.At("Backups"));
    EXPECT_EQ(lines[3], "CoursePath = " + course);
    EXPECT_EQ(lines[4], "main non");
    EXPECT_EQ(lines[5], "usercon");
    EXPECT_EQ(lines[6].rfind("TOLVARIN ERROR: ", 0), 0u) << lines[6];
    EXPECT_TRUE(std::regex_match(lines.back(), kEndLine));
    EXPECT_NE(host.Log().find("\r\n"), std::string::npos);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_NE(run.boxes[0].box.text.find("is not a Corvane Backup Folder"), std::string::npos);
    EXPECT_EQ(run.settings.at("Mode"), "0");
    EXPECT_EQ(run.settings.at("AreaFolder"), course + "/..");
    EXPECT_EQ(run.settings.at("BrandFolder"), course + "/../..");
    EXPECT_EQ(run.settings.at("DatabasesRoot"), course + "/../../..");
  }
}

TEST_F(StartupProcess, TheRunLogIsAppendedToNeverTruncated) {
  host.Put("tolvarin.log", "Begin Log: 2020-01-01 00:00:00\r\n");
  host.HostIni("");
  host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  const std::vector<std::string> lines = host.LogLines();
  ASSERT_EQ(lines.size(), 2u) << host.Log();
  EXPECT_EQ(lines[0], "Begin Log: 2020-01-01 00:00:00");
  EXPECT_TRUE(std::regex_match(lines[1], kBeginLine));
}

TEST_F(StartupProcess, ATestStandsInForTheClock) {
  host.HostIni("");
  host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  host.AddEnvironment(std::string(tolvarin::kClockVariable) + "=2031-07-08 09:10:11");
  host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  const std::vector<std::string> lines = host.LogLines();
  ASSERT_EQ(lines.size(), 2u) << host.Log();
  EXPECT_TRUE(std::regex_match(lines[0], kBeginLine));
  EXPECT_NE(lines[0], "Begin Log: 2031-07-08 09:10:11");
  EXPECT_EQ(lines[1], "Begin Log: 2031-07-08 09:10:11");
}

TEST_F(StartupProcess, EveryModeHasItsNumberAndTheUnbuiltOnesSaySo) {
  struct Row {
    const char* word;
    const char* mode;
    const char* operation;
    int status;
    const char* box = nullptr;  // the start of the one box a run ending with status 1 shows
  } rows[] = {
      {"Mode:DirectCopy", "1", "0", tolvarin::kTerminateStatus},  // the course /c does not exist
      {"Mode:RECOVER", "2", "0", tolvarin::kTerminateStatus},  // no display for its chooser
      {"Mode:InstallStandardTrees", "3", "0", tolvarin::kTerminateStatus},  // no SrcPath
      {"Mode:CreateSupplementalPackage", "4", "0", tolvarin::kTerminateStatus},  // the course /c does not exist
      {"Mode:AppendPackage", "5", "0", 0},
      {"Mode:PrecisionBackup", "6", "1", 1},  // no profile: nothing to do, said in the log
      {"Mode:PrecisionRestore", "6", "2", 1, "The Corvane Backup Restore window needs a display."},
      {"Mode:GradebookUpdate", "7", "0", 1},  // no class tables: refused, said in the log
      {"Mode:RepairCorruptTable", "8", "0", 1, "The Repair Corrupted Data window needs a display."},
      {"Mode:NewUpgrade", "9", "0", 0},
      {"Mode:MakeWiseInstallers", "10", "0", tolvarin::kTerminateStatus},  // no production folders set
      {"Mode:FixCourseDat", "11", "0", 0},
  };
  host.HostIni("");
  for (const Row& row : rows) {
    RunResult run = host.RunHere({row.word, "CoursePath:/c", "IDStart:1", "IDEnd:5"});
    EXPECT_EQ(run.status, row.status) << row.word << run.stderrText;
    EXPECT_EQ(run.settings["Mode"], row.mode) << row.word;
    EXPECT_EQ(run.settings["Operation"], row.operation) << row.word;
    if (row.box) {  // a dialog mode without a window session
      ASSERT_EQ(run.boxes.size(), 1u) << row.word;
      EXPECT_EQ(run.boxes[0].box.text.rfind(row.box, 0), 0u) << run.boxes[0].box.text;
    } else if (row.status == 0 || row.status == 1) {  // a normal end, or one that says in the log what it skipped
      EXPECT_TRUE(run.boxes.empty()) << row.word;
    } else {
      ASSERT_EQ(run.boxes.size(), 1u) << row.word;
      EXPECT_EQ(IsNotAvailableBox(run.boxes[0]), row.status == tolvarin::kNotAvailableStatus)
          << row.word << ": " << run.boxes[0].box.text;
    }
  }
}

TEST_F(StartupProcess, OtherModesLeaveOnlyTheBeginLine) {
  host.HostIni("");
  for (const char* mode : {"Mode:RECOVER", "Mode:FixCourseDat"}) {
    fs::remove(host.At("tolvarin.log"));
    host.RunHere({mode, "CoursePath:/c", "BackupPath:/tmp"});
    const std::vector<std::string> lines = host.LogLines();
    ASSERT_EQ(lines.size(), 1u) << mode << "\n" << host.Log();
    EXPECT_TRUE(std::regex_match(lines[0], kBeginLine));
  }
}

TEST_F(StartupProcess, ModeWordsThatNameNoModeStopThroughTheFacility) {
  host.HostIni("");
  for (const char* mode : {"Mode:vistamigrate", "Mode:Backup"}) {
    fs::remove(host.At("tolvarin.log"));
    const RunResult run = host.RunHere({mode});
    EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << mode;
    ASSERT_EQ(run.boxes.size(), 1u) << mode;
    EXPECT_EQ(run.boxes[0].kind, "Facility");
    EXPECT_EQ(run.boxes[0].box.text, "Invalid Mode parameter.");
    EXPECT_EQ(run.boxes[0].box.icon, 16);
    const std::vector<std::string> lines = host.LogLines();
    ASSERT_EQ(lines.size(), 1u);  // begun, never ended
    EXPECT_TRUE(std::regex_match(lines[0], kBeginLine));
  }
}

TEST_F(StartupProcess, MigrationInItsExactCaseReadsNothingElse) {
  host.HostIni("Prompt=TRUE\r\n");
  fs::create_directories(host.At("target"));
  const RunResult run = host.RunHere({"Mode:VistaMigrate", "ProgramFilesPath:" + host.At("program"),
                                      "TargetPath:" + host.At("target"), "UserContentPath:" + host.At("user")},
                                     {"OK"});  // a prompt, had one been shown, would fail the run on this answer
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(run.boxes.size(), 1u);  // no prompt: the host settings were never read
  EXPECT_EQ(run.boxes[0].box.text, "Error, the destination path already exists.");
  EXPECT_FALSE(fs::exists(host.At("tolvarin.log")));
}

TEST_F(StartupProcess, FirstOccurrenceOfAKeyWins) {
  host.HostIni("");
  const RunResult run = host.RunHere({"Mode:RECOVER", "Mode:DirectCopy", "CoursePath:/c"});
  EXPECT_EQ(run.settings.at("Mode"), "2");
}

TEST_F(StartupProcess, PromptShowsTheLineAsReceivedAndNoEndsAtOnce) {
  host.HostIni("Prompt=true\r\n");
  const RunResult no = host.RunHere({"Mode:RECOVER", "CoursePath:/a b/c"}, {"No"});
  EXPECT_EQ(no.status, 0);
  ASSERT_EQ(no.boxes.size(), 1u);
  EXPECT_EQ(no.boxes[0].kind, "System");
  EXPECT_EQ(no.boxes[0].box.text, "AppPath:" + host.App() + " Mode:RECOVER CoursePath:\"/a b/c\"");
  EXPECT_EQ(no.boxes[0].box.captions, (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_TRUE(no.settings.empty());
  EXPECT_FALSE(fs::exists(host.At("tolvarin.log")));  // ended before the log was opened

  const RunResult yes = host.RunHere({"Mode:RECOVER", "CoursePath:/a b/c"}, {"Yes"});
  EXPECT_EQ(yes.status, tolvarin::kTerminateStatus);  // the recovery's chooser needs a display
  EXPECT_EQ(yes.settings.at("CoursePath"), "/a b/c");
  EXPECT_EQ(host.LogLines().size(), 1u);
}

TEST_F(StartupProcess, SpecialModeAppendsAnImportThatTheCommandLineOverrides) {
  host.HostIni("SpecialMode=RemapOffset\r\n");
  EXPECT_EQ(host.RunHere({"Mode:RECOVER", "CoursePath:/c"}).settings.at("ImportMode"), "5");
  EXPECT_EQ(host.RunHere({"Import:REMAPNOTHING", "Mode:RECOVER", "CoursePath:/c"}).settings.at("ImportMode"), "3");
  host.HostIni("SpecialMode=remaptocorvaneids\r\n");
  EXPECT_EQ(host.RunHere({"Mode:RECOVER", "CoursePath:/c"}).settings.at("ImportMode"), "2");
}

TEST_F(StartupProcess, InvalidSpecialModeIsToldAndStartUpGoesOn) {
  host.HostIni("SpecialMode=RemapEverything\r\n");
  const RunResult run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].kind, "System");
  EXPECT_EQ(run.boxes[0].box.text, "Invalid special mode in Kestal.INI");
  EXPECT_EQ(run.boxes[0].box.icon, 0);
  EXPECT_EQ(run.settings.at("ImportMode"), "1");
}

TEST_F(StartupProcess, ImportSchemaAndStandardWords) {
  host.HostIni("");
  struct Row {
    std::vector<std::string> args;
    const char* key;
    const char* value;
  } rows[] = {
      {{"SCHEMA: semester "}, "SchemaVersion", "5"},
      {{"schema:Taxonomy"}, "SchemaVersion", "4"},
      {{"SCHEMA:Other"}, "SchemaVersion", "3"},
      {{}, "SchemaVersion", "3"},
      {{"Import:RemapToRange"}, "ImportMode", "4"},
      {{"Import:RemapByCourse"}, "ImportMode", "6"},
      {{"Import:RemapFromID"}, "ImportMode", "7"},
      {{"Import:Nonsense"}, "ImportMode", "1"},
      {{"StandardImport:RemapAllToUserRange"}, "StandardImportMode", "1"},
      {{}, "StandardImportMode", "2"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args{"Mode:FixCourseDat", "CoursePath:/c"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunResult run = host.RunHere(args);
    EXPECT_EQ(run.settings[row.key], row.value) << (row.args.empty() ? "(none)" : row.args[0]);
  }
}

TEST_F(StartupProcess, InteractiveAndCorvaneContentAcceptOnlyTrueOrFalse) {
  host.HostIni("");
  const RunResult falseAnyCase = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Interactive:False"});
  EXPECT_EQ(falseAnyCase.settings.at("Interactive"), "0");
  const RunResult yes = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Interactive:True",
                                      "IncludeCorvaneContent:TRUE"});
  EXPECT_EQ(yes.settings.at("Interactive"), "1");
  EXPECT_EQ(yes.settings.at("IncludeCorvaneContent"), "1");

  const RunResult bad = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Interactive:yes"});
  EXPECT_EQ(bad.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(bad.boxes.size(), 1u);
  EXPECT_EQ(bad.boxes[0].kind, "Facility");
  EXPECT_EQ(bad.boxes[0].box.text, "Invalid Interactive paramter.");
  EXPECT_EQ(bad.boxes[0].box.icon, 16);
  EXPECT_TRUE(bad.settings.empty());

  const RunResult badContent = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "IncludeCorvaneContent:1"});
  EXPECT_EQ(badContent.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(badContent.boxes.size(), 1u);
  EXPECT_EQ(badContent.boxes[0].box.text, "Invalid IncludeCorvaneContent paramter.");
}

TEST_F(StartupProcess, RelativeBackupPathIsMadeUnderAppPathAndAbsoluteOnesAsGiven) {
  host.HostIni("");
  const RunResult relative = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "BackupPath:Backups/Daily"});
  EXPECT_EQ(relative.settings.at("BackupPath"), host.At("Backups/Daily"));
  EXPECT_TRUE(fs::is_directory(host.At("Backups/Daily")));

  const std::string absolute = host.Scratch() + "/elsewhere/bk";
  const RunResult abs = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "BackupPath:" + absolute});
  EXPECT_EQ(abs.settings.at("BackupPath"), absolute);
  EXPECT_TRUE(fs::is_directory(absolute));

  // An existing folder spelt otherwise is used, not made a second time.
  const RunResult again = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "BackupPath:BACKUPS/daily"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(host.Entries(), (std::vector<std::string>{"Backups", "Kestal.INI", "tolvarin.log"}));
}

TEST_F(StartupProcess, BackupFolderThatCannotBeMadeStopsTheRun) {
  host.HostIni("");
  host.Put("blocker", "a file where a folder should go");
  const RunResult run = host.RunHere({"Mode:UserContent", "CoursePath:/c", "BackupPath:blocker/bk"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].kind, "System");
  EXPECT_EQ(run.boxes[0].box.text,
            "Unable to create Backup subfolder.  Please call Corvane at 1-888-CORVANE for more information.");
  const std::vector<std::string> lines = host.LogLines();
  ASSERT_EQ(lines.size(), 2u);  // begun, mode, no end line
  EXPECT_EQ(lines[1], "Mode = 0");
}

TEST_F(StartupProcess, HostSettingsAreFoundWhateverTheCaseOfTheFileName) {
  host.HostIni("office=true\r\nDIAGNOSTIC=FALSE\r\n", "KESTAL.ini");
  const RunResult run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.settings.at("OfficeMode"), "1");
  EXPECT_EQ(run.settings.at("DiagnosticMode"), "0");
  EXPECT_EQ(host.Entries(), (std::vector<std::string>{"KESTAL.ini", "tolvarin.log"}));  // no second ini
}

TEST_F(StartupProcess, OfficeModeFromTheCommandLine) {
  host.HostIni("");
  EXPECT_EQ(host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"}).settings.at("OfficeMode"), "0");
  EXPECT_EQ(host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Office:TRUE"}).settings.at("OfficeMode"), "1");
  EXPECT_EQ(host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Operation:GBExport"}).settings.at("OfficeMode"), "1");
  EXPECT_EQ(host.RunHere({"Mode:FixCourseDat", "CoursePath:/c", "Operation:GBEXPORT"}).settings.at("OfficeMode"), "0");
}

TEST_F(StartupProcess, DiagnosticModeShowsTheMilestones) {
  host.HostIni("Diagnostic=TRUE\r\n");
  const RunResult run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> texts;
  for (const auto& box : run.boxes) texts.push_back(box.box.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Before begin log", "after begin log", "before mode ",
                                             "before init code base"}));
  EXPECT_EQ(run.settings.at("DiagnosticMode"), "1");
}

TEST_F(StartupProcess, SiblingProgramsSetTheContentFlags) {
  host.HostIni("");
  RunResult run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.settings.at("IncludeTestContent"), "0");
  EXPECT_EQ(run.settings.at("IncludeGradebookContent"), "0");
  host.Put("Kestal.EXE", "");
  host.Put("Ludora.exe", "");
  run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.settings.at("IncludeTestContent"), "1");
  EXPECT_EQ(run.settings.at("IncludeGradebookContent"), "1");
}

TEST_F(StartupProcess, ModesThatNeedNoCourseDoNotResolveOne) {
  host.HostIni("");
  for (const char* mode : {"Mode:AppendPackage", "Mode:NewUpgrade", "Mode:MakeWiseInstallers"}) {
    const RunResult run = host.RunHere({mode});
    if (std::string(mode) != "Mode:MakeWiseInstallers") {
      EXPECT_EQ(run.status, 0) << run.stderrText;
      EXPECT_TRUE(run.boxes.empty());
    } else {  // the installer scripts want their production folders
      EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << mode;
      ASSERT_EQ(run.boxes.size(), 1u) << mode;
      EXPECT_FALSE(IsNotAvailableBox(run.boxes[0])) << mode;
    }
    EXPECT_EQ(run.settings.at("DatabasesRoot"), "") << mode;
    EXPECT_EQ(run.settings.at("CoursePath"), "") << mode;
  }
}

TEST_F(StartupProcess, SupplementalPackageWantsANumberForIDEnd) {
  host.HostIni("");
  const RunResult run = host.RunHere({"Mode:CreateSupplementalPackage", "CoursePath:/c", "IDStart:1", "IDEnd:ten"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].box.icon, 16);
}

TEST_F(StartupProcess, AppPathDefaultsToTheProgramsOwnFolder) {
  const std::string folder = host.Scratch() + "/Program";
  fs::create_directories(folder);
  const std::string binary = folder + "/tolvarin";
  fs::copy_file(host.Program(), binary);
  testing_support::WriteFile(folder + "/kestal.ini", "[Tolvarin]\r\nOffice=TRUE\r\n");
  const RunResult run = host.Run({"Mode:FixCourseDat", "CoursePath:/c"}, {}, binary);
  EXPECT_EQ(run.status, 0) << run.stderrText;
  EXPECT_EQ(run.settings.at("AppPath"), folder);
  EXPECT_EQ(run.settings.at("OfficeMode"), "1");
  EXPECT_TRUE(fs::exists(folder + "/tolvarin.log"));
}

TEST_F(StartupProcess, WritableProbeLeavesTheUsersTestFileAlone) {
  host.HostIni("");
  host.Put("test.dat", "not the program's");
  const RunResult run = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(testing_support::ReadFile(host.At("test.dat")), "not the program's");
  EXPECT_EQ(host.Entries(), (std::vector<std::string>{"Kestal.INI", "test.dat", "tolvarin.log"}));
}

TEST_F(StartupProcess, HostFolderThatCannotBeWrittenAsksWhetherToGoOn) {
  host.HostIni("");
  core_testing::ReadOnlyFolder locked(host.App());
  if (!locked.Works()) GTEST_SKIP() << "cannot make a folder read-only here";
  const RunResult exit = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"}, {"Exit Program"});
  EXPECT_EQ(exit.status, tolvarin::kTerminateStatus);
  ASSERT_EQ(exit.boxes.size(), 1u);
  EXPECT_EQ(exit.boxes[0].kind, "Facility");
  EXPECT_EQ(exit.boxes[0].box.title, "Corvane");
  EXPECT_EQ(exit.boxes[0].box.text.rfind("Error: Unable to create temporary file in \"" + host.App() + "/\".", 0), 0u);
  EXPECT_TRUE(exit.settings.empty());

  const RunResult goOn = host.RunHere({"Mode:FixCourseDat", "CoursePath:/c"}, {"Continue Anyway"});
  EXPECT_EQ(goOn.status, 0);
  EXPECT_EQ(goOn.boxes.size(), 1u);
  EXPECT_EQ(goOn.settings.at("Mode"), "11");
}

TEST_F(StartupProcess, AnswersThatRunOutTakeTheDefaultButton) {
  host.HostIni("Prompt=TRUE\r\n");
  const RunResult run = host.RunHere({"Mode:RECOVER", "CoursePath:/c"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);  // Yes is the prompt's default; then no display
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].answer, "1");
}

TEST_F(StartupProcess, ConsoleRunPrintsItsBoxesAndNeverWaits) {
  host.HostIni("Prompt=TRUE\r\n");
  const RunResult run = host.RunUnscripted({"Mode:RECOVER", "CoursePath:/c"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_NE(run.stderrText.find("Mode:RECOVER CoursePath:/c"), std::string::npos) << run.stderrText;
  EXPECT_NE(run.stderrText.find("-> &Yes"), std::string::npos) << run.stderrText;
  EXPECT_NE(run.stderrText.find("no display was found"), std::string::npos) << run.stderrText;
}

}  // namespace
