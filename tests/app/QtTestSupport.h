#pragma once
// Helpers shared by the window tests: the one QApplication of the test
// binary, created on first use (test listing never needs it), and a scratch
// folder for marker and settings files.

#include <filesystem>
#include <string_view>

#include <QTemporaryDir>

namespace lanternwick::testing {

// Creates the application on the offscreen platform unless another one was
// chosen in the environment.
void ensureQtApplication();

class ScratchFolder {
public:
    ScratchFolder();

    std::filesystem::path path(std::string_view name) const;
    std::filesystem::path write(std::string_view name, std::string_view contents) const;

private:
    QTemporaryDir dir_;
};

// A marker file that passes the header check and holds no markers.
inline constexpr std::string_view emptyMarkerFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" major_vers=\"1\" minor_vers=\"0\""
    " bug_vers=\"0\">\n"
    "</Tempolane>\n";

}  // namespace lanternwick::testing
