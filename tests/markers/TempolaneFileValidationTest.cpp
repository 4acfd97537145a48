#include "markers/TempolaneFileValidationError.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "markers/MarkerTestSupport.h"

namespace lanternwick {
namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string root =
    "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">";

bool valid(std::string_view text) { return validateMarkerBytes(text).ok(); }

TEST(TempolaneFileValidation, DescriptionsAreExact) {
    EXPECT_EQ(TempolaneFileValidationError::unreadableFile("Permission denied").description(),
              "Unable to read XML file: Permission denied");
    EXPECT_EQ(TempolaneFileValidationError::invalidTempolaneXML().description(),
              "The selected XML file is not a valid Tempolane file.\n"
              "Required header format:\n"
              "<?xml version=\"...\" encoding=\"UTF-8\"?>\n"
              "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"...\" "
              "minor_vers=\"...\" bug_vers=\"...\">");
}

TEST(TempolaneFileValidation, RejectsMisplacedOrMisspelledHeaders) {
    EXPECT_FALSE(valid(root + declaration));
    EXPECT_FALSE(valid("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + root));
    EXPECT_FALSE(valid("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" + root));
    EXPECT_FALSE(valid("<?xml encoding=\"UTF-8\" version=\"1.0\"?>" + root));
    EXPECT_FALSE(valid(declaration + "<Tempolane major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">"));
    EXPECT_FALSE(valid(declaration +
                       "<Tempolane xmlns:xml=\"http://wwwXw3.org/XML/1998/namespace\" major_vers=\"1\" "
                       "minor_vers=\"2\" bug_vers=\"3\">"));
    EXPECT_FALSE(valid(declaration +
                       "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" minor_vers=\"2\" "
                       "major_vers=\"1\" bug_vers=\"3\">"));
    EXPECT_FALSE(valid(declaration +
                       "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"\" "
                       "minor_vers=\"2\" bug_vers=\"3\">"));
    EXPECT_FALSE(valid(declaration + "<TempolaneX xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" "
                                     "major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">"));
    EXPECT_FALSE(valid(""));
}

TEST(TempolaneFileValidation, HostileRootTagIsRejectedWithoutHanging) {
    std::string text = declaration + "<Tempolane ";
    for (int i = 0; i < 10000; ++i) {
        text += "xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"1\" ";
    }
    EXPECT_FALSE(valid(text));
}

TEST(TempolaneFileValidation, ReadsTheFileAndReportsReadFailures) {
    const auto dir = std::filesystem::temp_directory_path() / ("lanternwick-val-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "good.xml") << testing::markerFile("");
    std::ofstream(dir / "bad.xml") << "<Tempolane/>";

    EXPECT_TRUE(validateMarkerFile(dir / "good.xml").ok());
    const auto bad = validateMarkerFile(dir / "bad.xml");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), TempolaneFileValidationError::invalidTempolaneXML());

    const auto missing = validateMarkerFile(dir / "missing.xml");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, TempolaneFileValidationError::Kind::unreadableFile);
    EXPECT_EQ(missing.error().description(), "Unable to read XML file: No such file or directory");

    const auto directory = validateMarkerFile(dir);
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error().kind, TempolaneFileValidationError::Kind::unreadableFile);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lanternwick
