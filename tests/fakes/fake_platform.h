#pragma once
// Every fake bundled into one mivetrak::Platform, for tests that drive whole operations.
// Set the fakes up through the members, hand `platform` to the code under test.
#include "fakes/fake_code_page.h"
#include "fakes/fake_crypto.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_internet.h"
#include "fakes/fake_log.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system.h"
#include "fakes/fake_windows_ui.h"
#include "net/deployment.h"
#include "platform/platform.h"

namespace mivetrak {

// Deployment values of the tests: hosts under .test, which no resolver answers.
inline Deployment TestDeployment() {
    return Deployment{"http://update.test/Software_Update/Tessfetch/ZAVFile.asp", "Test Agent",
                      "http://maker.test/", "http://portal.test/", std::nullopt};
}

struct FakePlatform {
    FakeFileSystem files;
    FakeRegistry registry;
    FakeInternet internet;
    FakeSystem system;
    FakeWindowsUi ui;
    FakeCodePage codePage;  // single-byte until codePage.doubleByte is set
    RecordingLog log;
    FakeCrypto crypto;
    Platform platform{files, registry, internet, system, ui, codePage, log, crypto};
};

}  // namespace mivetrak
