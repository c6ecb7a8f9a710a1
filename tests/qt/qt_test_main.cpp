// The Qt tests run offscreen, without the browser sandbox (they run as root), in one QApplication.

#include <gtest/gtest.h>

#include <QApplication>

#include "ui/qt/qt_toolkit.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  lumirack::PrepareQtEnvironment();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
