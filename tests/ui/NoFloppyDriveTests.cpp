// Run in a prefix whose only drives besides C: and Z: are a CD-ROM, so the
// program finds no floppy drive at all.
#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ui {
namespace {

TEST(NoFloppyDrive, SaysSoOnceAndOpensWithAnEmptyDriveList)
{
    // The message comes while the dialog initialises, before it is shown.
    TrakoniSession app(TrakoniExe(), false);
    const DialogBoxInfo box = app.WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no message about the missing drives";
    EXPECT_EQ(box.caption, "Trakoni");
    EXPECT_EQ(box.text, "No floppy drives were detected.");
    EXPECT_FALSE(box.hasIcon);
    ASSERT_TRUE(app.Dismiss(box));

    ASSERT_NE(app.WaitForDialog(), nullptr) << "the main dialog did not open after the message";
    EXPECT_EQ(box.owner, app.Dialog());
    EXPECT_TRUE(ComboItems(app.Control(IDC_DRIVE)).empty());
    EXPECT_EQ(ComboSelection(app.Control(IDC_DRIVE)), CB_ERR);
    for (int id : {IDC_DRIVE, IDC_IMAGE_PATH, IDC_BROWSE, IDC_TO_FLOPPY, IDC_FROM_FLOPPY, IDC_COPY_IMAGE}) {
        EXPECT_TRUE(IsWindowEnabled(app.Control(id))) << "control " << id;
    }
    EXPECT_TRUE(app.OtherDialogs().empty()) << "the message came more than once";
    EXPECT_EQ(Lines(app.Program().StandardOutput()), (std::vector<std::string>{"C", "D", "Z"}));

    // With no drive listed the engine gets NUL for the letter and reports
    // the open failure itself.
    app.SetFolder(FreshFolder("no-floppy"));
    app.ChooseDirection(IDC_FROM_FLOPPY);
    app.PressCopyImage();
    const DialogBoxInfo engine = app.WaitForBox();
    EXPECT_EQ(engine.caption, "ERROR");
    // "\\.\\" alone is no device name: ERROR_INVALID_NAME under Wine.
    EXPECT_EQ(engine.text, "Could not open drive for READ/WRITE access.  Error: 123");
    EXPECT_EQ(engine.owner, nullptr);
    ASSERT_TRUE(app.Dismiss(engine));
    EXPECT_TRUE(app.WaitForCopyImageEnabled());
    EXPECT_TRUE(app.OtherDialogs().empty());

    // Exit asks nothing, even with no drive to choose.
    Post(app.Dialog(), WM_COMMAND, ID_FILE_EXIT);
    DWORD exitCode = 1;
    ASSERT_TRUE(app.Program().WaitForExit(&exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace ui
