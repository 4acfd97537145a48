#include "markers/TempolaneFileValidationError.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace lanternwick {
namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string ns = "xmlns:xml=\"http://www.w3.org/XML/1998/namespace\"";
const std::string root = "<Tempolane " + ns + " major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">";

TEST(TempolaneFileValidation, AcceptsOnlyTheDeclarationThenTheRootTag) {
    EXPECT_TRUE(validateMarkerBytes(declaration + "\n<!-- x -->\n" + root).ok());
    for (const std::string& text : {
             root + declaration,
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + root,
             "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" + root,
             "<?xml encoding=\"UTF-8\" version=\"1.0\"?>" + root,
             declaration + "<Tempolane major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">",
             declaration + "<Tempolane xmlns:xml=\"http://wwwXw3.org/XML/1998/namespace\" major_vers=\"1\" "
                           "minor_vers=\"2\" bug_vers=\"3\">",
             declaration + "<Tempolane " + ns + " minor_vers=\"2\" major_vers=\"1\" bug_vers=\"3\">",
             declaration + "<Tempolane " + ns + " major_vers=\"\" minor_vers=\"2\" bug_vers=\"3\">",
             declaration + "<TempolaneX " + ns + " major_vers=\"1\" minor_vers=\"2\" bug_vers=\"3\">",
             std::string(),
         }) {
        const auto result = validateMarkerBytes(text);
        ASSERT_FALSE(result.ok()) << text;
        EXPECT_EQ(result.error(), TempolaneFileValidationError::invalidTempolaneXML());
    }
    EXPECT_EQ(TempolaneFileValidationError::invalidTempolaneXML().description(),
              "The selected XML file is not a valid Tempolane file.\n"
              "Required header format:\n"
              "<?xml version=\"...\" encoding=\"UTF-8\"?>\n"
              "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"...\" "
              "minor_vers=\"...\" bug_vers=\"...\">");
}

TEST(TempolaneFileValidation, HostileRootTagIsRejectedWithoutHanging) {
    std::string text = declaration + "<Tempolane ";
    for (int i = 0; i < 10000; ++i) text += ns + " major_vers=\"1\" minor_vers=\"1\" ";
    EXPECT_FALSE(validateMarkerBytes(text).ok());
}

TEST(TempolaneFileValidation, ReadsTheFileAndReportsReadFailures) {
    const auto dir = std::filesystem::temp_directory_path() / ("lanternwick-val-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "good.xml") << declaration << "\n" << root << "</Tempolane>\n";
    std::ofstream(dir / "bad.xml") << "<Tempolane/>";
    EXPECT_TRUE(validateMarkerFile(dir / "good.xml").ok());
    const auto bad = validateMarkerFile(dir / "bad.xml");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), TempolaneFileValidationError::invalidTempolaneXML());
    EXPECT_EQ(validateMarkerFile(dir / "missing.xml").error().description(),
              "Unable to read XML file: No such file or directory");
    EXPECT_EQ(validateMarkerFile(dir).error().kind, TempolaneFileValidationError::Kind::unreadableFile);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lanternwick
