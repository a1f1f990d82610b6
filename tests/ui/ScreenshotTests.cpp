// Pictures of the main dialog and the About box as the virtual display shows
// them, for the README and for a look at the layout.
#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

std::string ScreenshotPath(const char* name)
{
    const std::string folder = WinePathOf(TRAKONI_UI_SCREENSHOT_DIR);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\" + name;
}

TEST(Screenshots, MainDialogAndAboutBox)
{
    TrakoniSession app;
    ASSERT_NE(app.Dialog(), nullptr);
    EXPECT_TRUE(SaveWindowBitmap(app.Dialog(), ScreenshotPath("main.bmp")));

    Post(app.Dialog(), WM_COMMAND, ID_HELP_ABOUT);
    const HWND about = app.Program().WaitForDialog(kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(SaveWindowBitmap(about, ScreenshotPath("about.bmp")));
    PressButton(about, IDOK);
    EXPECT_TRUE(WaitForClose(about));
}

}  // namespace
}  // namespace ui
