#include "platform/windows/applicationscanner.h"
#include "sampleprograms.h"

#include <gtest/gtest.h>

using namespace Qolvi_Desktop_Agent::windows_backend;
using namespace Qolvi_Desktop_Agent::testing;

namespace {

using Ids = std::vector<std::string>;

const std::string sampleName = "qolvisample.exe"; // its version resource's OriginalFilename
const std::string plainName = "\xC5\xBC\xC3\xB3\xC5\x82w plain.exe";

// The scan lists every application of the session; the tests look only at their own.
Ids samplesIn(Ids identifiers) {
    std::erase_if(identifiers,
                  [](const std::string &id) { return id != sampleName && id != plainName; });
    return identifiers;
}

class ApplicationScannerTest : public testing::Test {
protected:
    SamplePrograms programs;
    const std::filesystem::path sample = SamplePrograms::built(L"sampleapp.exe");
    const std::filesystem::path plain = programs.copy(SamplePrograms::built(L"sampleapp_plain.exe"),
                                                      L"\u017b\u00f3\u0142w Plain.EXE");
    ApplicationScanner scanner;
};

TEST_F(ApplicationScannerTest, ListsEachInstanceInStartOrderByItsName) {
    // Two windows of one process are one instance.
    ASSERT_NE(programs.start(sample, L"windows=2"), 0u);
    // A child that goes by its parent's name is part of its parent's instance.
    ASSERT_NE(programs.start(plain, {}, true), 0u);
    // A process without a window is no application, but the windowed child it starts is.
    ASSERT_NE(programs.start(plain, L"hidden"), 0u);
    ASSERT_NE(programs.start(sample, L"hidden", true), 0u);
    // A renamed copy is still known by the name it was built as.
    const DWORD renamed = programs.start(programs.copy(sample, L"Renamed Copy.exe"));
    ASSERT_NE(renamed, 0u);

    EXPECT_EQ(samplesIn(scanner.scan()), (Ids{sampleName, plainName, sampleName, sampleName}));

    programs.end(renamed);
    EXPECT_EQ(samplesIn(scanner.scan()), (Ids{sampleName, plainName, sampleName}));
    ASSERT_NE(programs.start(sample), 0u);
    EXPECT_EQ(samplesIn(scanner.scan()), (Ids{sampleName, plainName, sampleName, sampleName}));
}

} // namespace
