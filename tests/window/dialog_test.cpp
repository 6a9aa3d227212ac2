// The operator's dialog on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>

#include "support/manual_host.h"
#include "support/sim_link.h"
#include "support/test_files.h"
#include "window/loader_dialog.h"

namespace ov {
namespace {

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }
    void SetUp() override {
        setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
        setenv("LC_ALL", "C", 1);
    }
    void TearDown() override {
        unsetenv("OV58XX_LOADER_HOME");
        unsetenv("LC_ALL");
    }
    test::TempDir dir;
    test::ManualHost host;
};

TEST_F(DialogTest, TitleAndFixedSize) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "OV58xx Loader V2.5.16");
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.size(), dialog.Pixels(0, 0, 523, 385).size());
}

}  // namespace
}  // namespace ov
