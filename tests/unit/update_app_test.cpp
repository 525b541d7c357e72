// Start-up and exit of the application object against the fake platform.
#include "app/update_app.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/install_journal.h"
#include "fakes/fake_platform.h"
#include "protocol/cancel_flag.h"
#include "resources/resource_ids.h"
#include "unit/app_machine.h"
#include "unit/target_folder_paths.h"

namespace mivetrak {
namespace {

using Folders = std::vector<std::string>;

const char* const kLibrary = kTestLibrary;
const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";
const char kShared[] = "C:\\Program Files\\Orvanta\\Shared Files";
const char* const kWork = kTestWorkFolder;

void Configure(FakePlatform& f) { ConfigureMachine(f); }

class UpdateAppTest : public ::testing::Test {
protected:
    void SetUp() override { Configure(fake); }

    void AddDatabaseFolder(const std::string& folder) {
        fake.files.AddFile(folder + "\\Tolvar32.bdb", "db");
    }

    // Runs the program's life: InitInstance, then ExitInstance. Keeps what start-up decided.
    ExitCode Run() {
        UpdateApp app(fake.platform, TestDeployment());
        EXPECT_FALSE(app.InitInstance());
        folders = PathsOf(app.TargetFolderList);
        workFolder = app.WorkFolder;
        force = app.ForceUpdate;
        libraryWasLoaded = app.ResourceLibraryHandle.Get() != nullptr;
        const ExitCode exitCode = app.ExitInstance();
        EXPECT_EQ(app.ResourceLibraryHandle.Get(), nullptr);
        EXPECT_EQ(fake.system.LoadedCount(kLibrary), 0);
        return exitCode;
    }

    std::vector<FakeWindowsUi::Box> Boxes() const { return fake.ui.Boxes(); }

    FakePlatform fake;
    Folders folders;
    std::string workFolder;
    bool force = false;
    bool libraryWasLoaded = false;
};

TEST_F(UpdateAppTest, ConstructedEmpty) {
    UpdateApp app(fake.platform, TestDeployment());
    EXPECT_EQ(app.DownloadLength, 0u);
    EXPECT_EQ(app.ExitCode, ExitCode::Done);
    EXPECT_EQ(app.ResourceLibraryHandle.Get(), nullptr);
    EXPECT_TRUE(app.TargetFolderList.empty());
    EXPECT_TRUE(app.WorkFolder.empty());
    EXPECT_FALSE(app.ForceUpdate);
    EXPECT_EQ(app.MainWindow.load(), nullptr);
}

TEST_F(UpdateAppTest, DiscoveryOrderCommandLineSharedFilesThenSibling) {
    AddDatabaseFolder("D:\\Db");
    AddDatabaseFolder(kShared);
    AddDatabaseFolder("E:\\Tellyra");
    fake.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "", "E:\\Tellyra\\Tellyra.exe");
    fake.system.SetRawCommandLine("\"C:\\Program Files\\Mivetrak\\Mivetrak.exe\" D:\\Db");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(folders, (Folders{"D:\\Db\\", std::string(kShared) + "\\", "E:\\Tellyra\\"}));
    EXPECT_TRUE(libraryWasLoaded);
    // The question, with the library's texts.
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
    EXPECT_EQ(Boxes()[0].text, "Update now?");
    EXPECT_EQ(Boxes()[0].caption, "Caption");
    EXPECT_EQ(Boxes()[0].flags, kBoxYesNoInformation);
}

TEST_F(UpdateAppTest, AFolderNamedTwiceAndFoundAgainIsKeptOnce) {
    AddDatabaseFolder("D:\\Db");
    fake.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "", "D:\\Db\\Tellyra.exe");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db d:\\db\\");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(folders, (Folders{"D:\\Db\\"}));
}

struct FilterCase {
    const char* name;
    const char* commandLine;
    Folders expected;
};

TEST_F(UpdateAppTest, FoldersWithoutTheDatabaseAreDroppedUnlessForced) {
    // A, B and D hold no database; C and E do. The shared-files folder exists without one. G
    // holds a directory named as the database, which is none.
    for (const char* folder : {"D:\\A", "D:\\B", "D:\\D"}) fake.files.AddDirectory(folder);
    fake.files.AddDirectory("D:\\G\\Tolvar32.bdb");
    AddDatabaseFolder("D:\\C");
    AddDatabaseFolder("D:\\E");
    fake.files.AddDirectory(kShared);
    const std::string shared = std::string(kShared) + "\\";
    const FilterCase cases[] = {
        {"two removals in a row", "m D:\\A D:\\B D:\\C D:\\D D:\\E", {"D:\\C\\", "D:\\E\\"}},
        {"last removed", "m D:\\C D:\\A", {"D:\\C\\"}},
        {"forced", "m D:\\A D:\\B f D:\\C", {"D:\\A\\", "D:\\B\\", "D:\\C\\", shared}},
        {"forced with a mark", "m -F D:\\A", {"D:\\A\\", shared}},
        {"directory named as the database", "m D:\\G D:\\C", {"D:\\C\\"}},
        {"directory named as the database, forced", "m f D:\\G", {"D:\\G\\", shared}},
    };
    for (const FilterCase& c : cases) {
        fake.system.SetRawCommandLine(c.commandLine);
        EXPECT_EQ(Run(), ExitCode::Stopped) << c.name;
        EXPECT_EQ(folders, c.expected) << c.name;
    }
}

TEST_F(UpdateAppTest, ForcedRunKeepsEveryDiscoveredFolder) {
    fake.files.AddDirectory(kShared);
    fake.files.AddDirectory("E:\\Tellyra");
    fake.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "", "E:\\Tellyra\\Tellyra.exe");
    fake.system.SetRawCommandLine("Mivetrak.exe /f");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_TRUE(force);
    EXPECT_EQ(folders, (Folders{std::string(kShared) + "\\", "E:\\Tellyra\\"}));
}

struct AppPathsCase {
    const char* name;
    std::string value;
    bool doubleByte;
    Folders expected;
};

TEST_F(UpdateAppTest, SiblingFolderFromAppPaths) {
    fake.files.AddDirectory("E:\\Tellyra");
    fake.files.AddDirectory("E:\\Ab");
    fake.files.AddDirectory("E:\\\x81\x5C");
    fake.files.AddDirectory("E:\\Ab\\\x81");
    fake.files.AddDirectory("F:\\");
    const AppPathsCase cases[] = {
        {"executable in a folder", "E:\\Tellyra\\Tellyra.exe", false, {"E:\\Tellyra\\"}},
        {"executable in a drive's root", "F:\\Tellyra.exe", false, {"F:\\"}},
        {"no backslash", "Tellyra.exe", false, {}},
        {"folder missing", "G:\\Gone\\Tellyra.exe", false, {}},
        {"value of 260 bytes", "E:\\Tellyra\\" + std::string(249, 'x'), false, {}},
        {"value of 259 bytes", "E:\\Tellyra\\" + std::string(248, 'x'), false, {"E:\\Tellyra\\"}},
        {"folder ends in a double-byte character",
         "E:\\\x81\x5C\\Tellyra.exe",
         true,
         {"E:\\\x81\x5C\\"}},
        // The executable's name ends in a trail byte 0x5C, which is no separator.
        {"trail byte is no separator", "E:\\Ab\\\x81\x5C", true, {"E:\\Ab\\"}},
        {"single-byte takes the trail byte", "E:\\Ab\\\x81\x5C", false, {"E:\\Ab\\\x81\\"}},
    };
    fake.system.SetRawCommandLine("Mivetrak.exe f");
    for (const AppPathsCase& c : cases) {
        fake.codePage.doubleByte = c.doubleByte;
        fake.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "", c.value);
        // Without a folder the run ends with the no-folder box.
        EXPECT_EQ(Run(), c.expected.empty() ? ExitCode::StartFailed : ExitCode::Stopped) << c.name;
        EXPECT_EQ(folders, c.expected) << c.name;
    }
}

TEST_F(UpdateAppTest, GoodFolderBesideBadArgumentsIsUsedSilently) {
    AddDatabaseFolder("D:\\Db");
    fake.files.AddDirectory("D:\\ReadOnly");
    fake.files.SetReadOnly("D:\\ReadOnly");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Nowhere D:\\ReadOnly ff D:\\Db");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(folders, (Folders{"D:\\Db\\"}));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].flags, kBoxYesNoInformation);
}

struct FailureCase {
    const char* name;
    void (*arrange)(FakePlatform&);
    const char* text;
    uint32_t flags;
};

TEST_F(UpdateAppTest, StartUpFailuresShowOneBoxAndExitWithOne) {
    const FailureCase cases[] = {
        {"bad argument alone",
         [](FakePlatform& f) { f.system.SetRawCommandLine("Mivetrak.exe D:\\Nowhere"); },
         "Start-up failed", kBoxOkExclamation},
        {"the letter f doubled",
         [](FakePlatform& f) { f.system.SetRawCommandLine("Mivetrak.exe ff"); }, "Start-up failed",
         kBoxOkExclamation},
        {"quoted folder ending in a backslash",
         [](FakePlatform& f) { f.system.SetRawCommandLine("Mivetrak.exe \"D:\\Db\\\""); },
         "Start-up failed", kBoxOkExclamation},
        {"no shell folder library, good folder given",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.system.FailProgramFilesFolder();
         },
         "Start-up failed", kBoxOkExclamation},
        {"no folder at all", [](FakePlatform&) {}, "No folder", kBoxOkExclamation},
        {"no folder holds the database",
         [](FakePlatform& f) {
             f.files.AddDirectory(kShared);
             f.files.AddDirectory("E:\\Tellyra");
             f.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "",
                                  "E:\\Tellyra\\Tellyra.exe");
         },
         "No folder", kBoxOkExclamation},
        {"temporary folder unknown",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.SetTempFolder("C:\\Temp\\", 0);
         },
         "Start-up failed", kBoxOkExclamation},
        {"temporary folder too long",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.SetTempFolder("C:\\Temp\\", 260);
         },
         "Start-up failed", kBoxOkExclamation},
        {"work folder cannot be made",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.FailMakeDirectory(kWork);
         },
         "Start-up failed", kBoxOkExclamation},
        {"a file where the work folder goes",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.AddFile(kWork, "not a folder");
         },
         "Start-up failed", kBoxOkExclamation},
        // Nothing is written through a folder that someone else may have put there.
        {"the work folder is a link",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.AddDirectory(kWork);
             f.files.MakeLink(kWork);
         },
         "Start-up failed", kBoxOkExclamation},
        {"the work folder is another account's",
         [](FakePlatform& f) {
             f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
             f.files.AddDirectory(kWork);
             f.files.SetForeignOwner(kWork);
         },
         "Start-up failed", kBoxOkExclamation},
    };
    for (const FailureCase& c : cases) {
        FakePlatform f;
        Configure(f);
        f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
        c.arrange(f);
        const bool workFolderThere = f.files.IsDirectory(kWork);
        UpdateApp app(f.platform, TestDeployment());
        EXPECT_FALSE(app.InitInstance()) << c.name;
        EXPECT_EQ(app.ExitInstance(), ExitCode::StartFailed) << c.name;
        const auto boxes = f.ui.Boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.name;
        EXPECT_EQ(boxes[0].text, c.text) << c.name;
        EXPECT_EQ(boxes[0].caption, "Caption") << c.name;
        EXPECT_EQ(boxes[0].flags, c.flags) << c.name;
        EXPECT_EQ(boxes[0].owner, nullptr) << c.name;
        EXPECT_EQ(f.system.ThreadsCreated(), 0) << c.name;
        EXPECT_EQ(f.system.LoadedCount(kLibrary), 0) << c.name;
        // A work folder that was not made leaves nothing behind; what was in its way stays.
        EXPECT_EQ(f.files.IsDirectory(kWork), workFolderThere) << c.name;
    }
}

TEST_F(UpdateAppTest, BadArgumentAloneStopsBeforeDiscovery) {
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Nowhere");
    EXPECT_EQ(Run(), ExitCode::StartFailed);
    EXPECT_TRUE(fake.registry.Opens().empty());
    for (const std::string& call : fake.files.Calls()) {
        EXPECT_EQ(call.find("Shared Files"), std::string::npos) << call;
        // (The temporary folder is asked for at start, for the log and to repair a cut-off
        // installation.)
        EXPECT_EQ(call.rfind("MakeDirectory", 0), std::string::npos) << call;
    }
}

TEST_F(UpdateAppTest, MissingLibraryShowsTheSystemsText) {
    fake.system.FailModule(kLibrary, 126);
    fake.system.SetErrorText(126, "Module not found.\r\n");
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    EXPECT_EQ(Run(), ExitCode::StartFailed);
    EXPECT_FALSE(libraryWasLoaded);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
    EXPECT_EQ(Boxes()[0].text, "Module not found.\r\n");
    EXPECT_EQ(Boxes()[0].caption, "Error");
    EXPECT_EQ(Boxes()[0].flags, kBoxOkInformation);
    EXPECT_TRUE(workFolder.empty());
    EXPECT_EQ(fake.system.FreeCount(kLibrary), 0);
}

TEST_F(UpdateAppTest, MissingLibraryWithoutSystemTextNamesTheLibraryAndCode) {
    fake.system.FailModule(kLibrary, 193);
    EXPECT_EQ(Run(), ExitCode::StartFailed);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Mivetrak.rsl could not be loaded (error 193).");
    EXPECT_EQ(Boxes()[0].caption, "Error");
}

TEST_F(UpdateAppTest, MissingStringsGiveEmptyTextsButTheBoxStillShows) {
    FakePlatform bare;
    bare.system.AddModule(kLibrary);
    bare.system.SetRawCommandLine("Mivetrak.exe");
    bare.system.SetProgramFilesFolder("C:\\Program Files");
    UpdateApp app(bare.platform, TestDeployment());
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), ExitCode::StartFailed);
    ASSERT_EQ(bare.ui.Boxes().size(), 1u);
    EXPECT_EQ(bare.ui.Boxes()[0].text, "");
    EXPECT_EQ(bare.ui.Boxes()[0].caption, "");
    EXPECT_EQ(bare.ui.Boxes()[0].flags, kBoxOkExclamation);
}

struct TempCase {
    const char* tempPath;
    const char* workFolder;
};

TEST_F(UpdateAppTest, WorkFolderInsideTheTemporaryFolder) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    const TempCase cases[] = {
        {"C:\\Temp\\", "C:\\Temp\\orzavtmp\\"},
        {"C:\\Temp", "C:\\Temp\\orzavtmp\\"},
    };
    for (const TempCase& c : cases) {
        fake.files.SetTempFolder(c.tempPath);
        fake.files.ClearCalls();
        EXPECT_EQ(Run(), ExitCode::Stopped) << c.tempPath;
        EXPECT_EQ(workFolder, c.workFolder);
        // Made for this run and removed at exit.
        const auto calls = fake.files.Calls();
        EXPECT_NE(std::find(calls.begin(), calls.end(), "MakeDirectory C:\\Temp\\orzavtmp"),
                  calls.end());
        EXPECT_NE(
            std::find(calls.begin(), calls.end(), "RemoveEmptyDirectory C:\\Temp\\orzavtmp\\"),
            calls.end());
        EXPECT_FALSE(fake.files.Exists(kWork));
    }
}

TEST_F(UpdateAppTest, TemporaryPathOf259BytesIsAccepted) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    const std::string temp = "C:\\" + std::string(255, 't') + "\\";
    ASSERT_EQ(temp.size(), 259u);
    fake.files.AddDirectory(temp);
    fake.files.SetTempFolder(temp);
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(workFolder, temp + "orzavtmp\\");
}

TEST_F(UpdateAppTest, WorkFolderFromAnEarlierRunIsReusedAndClearedOfTheWorkersFiles) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.files.AddFile(std::string(kWork) + "\\Tolvar32.bdb", "left over");
    fake.files.AddFile(std::string(kWork) + "\\keep.txt", "not the updater's");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(workFolder, std::string(kWork) + "\\");
    for (const std::string& call : fake.files.Calls()) {
        EXPECT_EQ(call.rfind("MakeDirectory", 0), std::string::npos) << call;
    }
    EXPECT_FALSE(fake.files.Exists(std::string(kWork) + "\\Tolvar32.bdb"));
    EXPECT_EQ(fake.files.Content(std::string(kWork) + "\\keep.txt"), "not the updater's");
    EXPECT_TRUE(fake.files.IsDirectory(kWork));
}

// A run cut off between its two renames left the folder's database under its backup name. The
// next start puts it back before it looks for folders with a database, so the folder is kept,
// whatever the answer to the question.
TEST_F(UpdateAppTest, StartRepairsAFolderThatACutOffRunLeftWithoutItsDatabase) {
    fake.files.AddDirectory(kWork);
    fake.files.AddFile("D:\\Db\\Tolvar32tmp0.tmp", "old");
    fake.files.AddFile("D:\\Db\\Tolvar32new0.tmp", "new");
    InstallJournal journal(fake.files, std::string(kWork) + "\\");
    JournalRecord record;
    record.target = "D:\\Db\\Tolvar32.bdb";
    record.side = "D:\\Db\\Tolvar32new0.tmp";
    record.backup = "D:\\Db\\Tolvar32tmp0.tmp";
    record.length = 3;
    FileIdentity oldCopy;
    SystemError error;
    ASSERT_TRUE(fake.files.Identity(record.backup, oldCopy, error));
    record.oldCopy = oldCopy;
    ASSERT_TRUE(journal.Begin(record));
    ASSERT_TRUE(journal.MarkSwitching(record));
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(folders, Folders{"D:\\Db\\"});
    EXPECT_EQ(fake.files.Content("D:\\Db\\Tolvar32.bdb"), "old");
    EXPECT_FALSE(fake.files.Exists("D:\\Db\\Tolvar32tmp0.tmp"));
    EXPECT_FALSE(fake.files.Exists("D:\\Db\\Tolvar32new0.tmp"));
    EXPECT_FALSE(fake.files.Exists(kWork));
}

TEST_F(UpdateAppTest, AnsweringNoExitsWithTwoAndRunsNothing) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.ui.ScriptBoxAnswers({kIdNo});
    EXPECT_EQ(Run(), ExitCode::Stopped);
    EXPECT_EQ(fake.system.ThreadsCreated(), 0);
    EXPECT_TRUE(fake.ui.ModalRuns().empty());
    EXPECT_FALSE(fake.files.Exists(kWork));
}

TEST_F(UpdateAppTest, AnsweringYesStartsTheUpdateRun) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.ui.ScriptBoxAnswers({kIdYes});
    // The worker cannot be started: the update run reports it and the exit code is 1.
    fake.system.RefuseThreads();
    EXPECT_EQ(Run(), ExitCode::StartFailed);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Update now?");
    EXPECT_EQ(boxes[1].text, "Start-up failed");
    EXPECT_FALSE(fake.files.Exists(kWork));  // still empty, removed at exit
}

TEST_F(UpdateAppTest, AnsweringYesShowsTheProgressDialogFromTheLibrary) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.ui.ScriptBoxAnswers({kIdYes});
    Run();
    const auto runs = fake.ui.ModalRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].templateId, IDD_PROGRESS);
    EXPECT_EQ(runs[0].module, fake.system.HandleOf(kLibrary));
    EXPECT_EQ(fake.system.ThreadsCreated(), 1);
}

TEST_F(UpdateAppTest, AnyAnswerButNoGoesAhead) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.ui.ScriptBoxAnswers({kIdOk});
    fake.system.RefuseThreads();
    EXPECT_EQ(Run(), ExitCode::StartFailed);
    EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(UpdateAppTest, AppIconIsTheExecutablesOwn) {
    const IconHandle exeIcon = fake.system.AddIcon("", IDI_PROGRAM);
    fake.system.AddIcon(kLibrary, IDI_PROGRAM);
    UpdateApp app(fake.platform, TestDeployment());
    app.InitInstance();
    EXPECT_EQ(app.AppIcon, exeIcon);
    app.ExitInstance();
}

TEST_F(UpdateAppTest, ExitCodeIsClearedAtStart) {
    AddDatabaseFolder("D:\\Db");
    fake.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    fake.ui.ScriptBoxAnswers({kIdNo});
    UpdateApp app(fake.platform, TestDeployment());
    app.ExitCode = ExitCode::InstallFailed;
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), ExitCode::Stopped);
}

TEST_F(UpdateAppTest, DestructorFreesALibraryLeftLoaded) {
    {
        UpdateApp app(fake.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(fake.system.LoadedCount(kLibrary), 1);
    }
    EXPECT_EQ(fake.system.LoadedCount(kLibrary), 0);
}

}  // namespace
}  // namespace mivetrak
