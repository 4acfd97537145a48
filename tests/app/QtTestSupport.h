#pragma once
// Helpers shared by the window tests: the one QApplication of the test
// binary, created on first use (test listing never needs it), and a scratch
// folder.

#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/Theme.h"

namespace lanternwick::testing {

// Owns the application and ends it when the test run ends, before static
// destruction: Qt's own globals are gone by then and a QApplication that
// outlives them crashes on the way out.
struct QtApplicationEnvironment final : ::testing::Environment {
    void TearDown() override { application.reset(); }
    std::unique_ptr<QApplication> application;
};

inline void ensureQtApplication() {
    static QtApplicationEnvironment* environment = nullptr;
    if (environment != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Google Test takes ownership of its environments.
    environment = static_cast<QtApplicationEnvironment*>(
        ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment));
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    environment->application = std::make_unique<QApplication>(argc, argv);
    // As the application itself does, so that pictures show the real menus.
    QApplication::setPalette(theme::applicationPalette());
}

// Saves a picture of `widget` for a person to look at, in the build folder
// (or LANTERNWICK_SCREENSHOT_DIR).
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = qEnvironmentVariableIsEmpty("LANTERNWICK_SCREENSHOT_DIR")
                               ? QDir::currentPath()
                               : qEnvironmentVariable("LANTERNWICK_SCREENSHOT_DIR");
    return widget.grab().toImage().save(QDir(folder).filePath(name));
}

struct ScratchFolder {
    std::filesystem::path path(std::string_view name) const { return std::filesystem::path(dir.path().toStdString()) / name; }
    std::filesystem::path write(std::string_view name, std::string_view contents) const {
        std::ofstream(path(name), std::ios::binary) << contents;
        return path(name);
    }
    QTemporaryDir dir;
};

}  // namespace lanternwick::testing
