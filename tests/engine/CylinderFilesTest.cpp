// The cylinder image files on the real file system.
#include "engine/CylinderFiles.h"

#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/Imager.h"
#include "platform/Win32.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCylinder = 18432;

TEST(CylinderFileName, IsTheFolderAsGivenAndATwoDigitCylinder)
{
    struct Case {
        const char* folder;
        int cylinder;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\images", 0, "C:\\images\\cyl00.bin"},
        {"C:\\images", 7, "C:\\images\\cyl07.bin"},
        {"C:\\images", 79, "C:\\images\\cyl79.bin"},
        {"C:\\", 5, "C:\\\\cyl05.bin"},
        {"", 12, "\\cyl12.bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CylinderFileName(c.folder, c.cylinder), c.name);
    }
}

TEST(CylinderFiles, ACylinderGoesToItsFileAndBackByteForByte)
{
    TempFolder folder;
    // The pattern holds 0x0A, 0x0D and 0x1A bytes: a text-mode stream would
    // change the size or stop short.
    const Bytes data = Pattern(kCylinder, 0, 'N');
    ASSERT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path(), 7), 0);
    EXPECT_EQ(ReadWholeFile(folder.File(7)), data);

    Bytes buffer(kCylinder);
    EXPECT_EQ(CheckCylinderFileSize(kCylinder, folder.Path(), 7), 0);
    ASSERT_EQ(ReadCylinderFile(buffer.data(), kCylinder, folder.Path(), 7), 0);
    EXPECT_EQ(buffer, data);
}

TEST(CylinderFiles, AFolderWithATrailingBackslashIsUsedAsGiven)
{
    TempFolder folder;
    const Bytes data = Pattern(kCylinder, 0, 'N');
    // The doubled separator still names the file in the folder.
    ASSERT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path() + "\\", 0), 0);
    EXPECT_EQ(ReadWholeFile(folder.File(0)), data);
}

TEST(CylinderFiles, AFileOfAnotherSizeIsRejectedWithoutBeingOpened)
{
    TempFolder folder;
    for (const int size : {kCylinder - 1, kCylinder + 1, kCylinder / 2}) {
        SCOPED_TRACE(size);
        WriteWholeFile(folder.File(5), Pattern(size, 0, 'F'));
        // Held open exclusively: reading it would fail with 7, not 8.
        HANDLE held = CreateFileA(folder.File(5).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        Bytes buffer(kCylinder, 0xEE);
        EXPECT_EQ(CheckCylinderFileSize(kCylinder, folder.Path(), 5), 8);
        EXPECT_EQ(ReadCylinderFile(buffer.data(), kCylinder, folder.Path(), 5), 8);
        EXPECT_EQ(buffer, Bytes(kCylinder, 0xEE));
        CloseHandle(held);
    }
}

TEST(CylinderFiles, AFileOfTheRightSizeThatCannotBeOpenedIsUnreadable)
{
    TempFolder folder;
    WriteWholeFile(folder.File(3), Pattern(kCylinder, 0, 'F'));
    HANDLE held = CreateFileA(folder.File(3).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Bytes buffer(kCylinder);
    EXPECT_EQ(ReadCylinderFile(buffer.data(), kCylinder, folder.Path(), 3), 7);
    CloseHandle(held);
}

TEST(CylinderFiles, AFileThatHasGoneIsUnreadable)
{
    TempFolder folder;
    Bytes buffer(kCylinder);
    EXPECT_EQ(CheckCylinderFileSize(kCylinder, folder.Path(), 9), 7);
    EXPECT_EQ(ReadCylinderFile(buffer.data(), kCylinder, folder.Path(), 9), 7);
}

TEST(CylinderFiles, WritingOverALongerFileLeavesExactlyOneCylinder)
{
    TempFolder folder;
    WriteWholeFile(folder.File(79), Pattern(kCylinder + 4096, 0, 'O'));
    const Bytes data = Pattern(kCylinder, 0, 'N');
    ASSERT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path(), 79), 0);
    EXPECT_EQ(ReadWholeFile(folder.File(79)), data);
}

TEST(CylinderFiles, ATargetThatCannotBeWrittenFails)
{
    TempFolder folder;
    const Bytes data = Pattern(kCylinder, 0, 'N');
    fs::create_directory(folder.File(4));
    EXPECT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path(), 4), 1);
    EXPECT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path() + "\\missing", 4), 1);
}

}  // namespace
