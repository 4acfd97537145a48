#include "app/QtTestSupport.h"

#include <fstream>
#include <memory>

#include <QApplication>

namespace lanternwick::testing {

void ensureQtApplication() {
    static std::unique_ptr<QApplication> application;
    if (application) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lanternwick"));
}

ScratchFolder::ScratchFolder() = default;

std::filesystem::path ScratchFolder::path(std::string_view name) const {
    return std::filesystem::path(dir_.path().toStdString()) / name;
}

std::filesystem::path ScratchFolder::write(std::string_view name, std::string_view contents) const {
    const auto file = path(name);
    std::ofstream(file, std::ios::binary) << contents;
    return file;
}

}  // namespace lanternwick::testing
