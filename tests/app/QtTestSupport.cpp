#include "app/QtTestSupport.h"

#include <fstream>
#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

namespace lanternwick::testing {

namespace {

// Owns the application and ends it when the test run ends, before static
// destruction: Qt's own globals are gone by then and a QApplication that
// outlives them crashes on the way out.
class QtApplicationEnvironment final : public ::testing::Environment {
public:
    void TearDown() override { application.reset(); }

    std::unique_ptr<QApplication> application;
};

QtApplicationEnvironment* environment = nullptr;

}  // namespace

void ensureQtApplication() {
    if (environment != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    auto owned = std::make_unique<QtApplicationEnvironment>();
    environment = owned.get();
    // Google Test takes ownership of its environments.
    ::testing::AddGlobalTestEnvironment(owned.release());
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    environment->application = std::make_unique<QApplication>(argc, argv);
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
