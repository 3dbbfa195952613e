#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <memory>

namespace hb::test {

// One QApplication for the whole test program, on the offscreen platform
// unless another one is asked for, in the Fusion style and with the Adwaita
// icon theme, so that drawings look alike everywhere. Register it once per
// program: testing::AddGlobalTestEnvironment(new QtEnvironment).
class QtEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        // The offscreen platform knows no icon theme; the desktop's own platform reads these.
        if (QIcon::themeName().isEmpty()) {
            QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
            QIcon::setThemeName(QStringLiteral("Adwaita"));
            QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
        }
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char programName_[16] = "tests";
    char* argv_[2] = {programName_, nullptr};
    std::unique_ptr<QApplication> app_;
};

} // namespace hb::test
