// The cylinder image files on the real file system.
#include "engine/CylinderFiles.h"
#include "engine/Imager.h"

#include <filesystem>

#include "EngineTestSupport.h"

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

// The pattern holds 0x0A, 0x0D and 0x1A bytes: a text-mode stream would
// change the size or stop short.
TEST(CylinderFiles, WritingLeavesExactlyTheCylinderOrFails)
{
    struct Case {
        const char* name;
        int existingBytes;   // of a file already there; -1: none, -2: a folder there
        const char* suffix;  // appended to the folder as given
        int status;
    };
    const Case cases[] = {
        {"new file", -1, "", 0},
        {"folder with a trailing backslash", -1, "\\", 0},
        {"longer existing file", kCylinder + 4096, "", 0},
        {"a folder in the file's place", -2, "", 1},
        {"missing folder", -1, "\\missing", 1},
    };
    const Bytes data = Pattern(kCylinder, 0, 'N');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        if (c.existingBytes >= 0) {
            ASSERT_TRUE(WriteWholeFile(folder.File(79), Pattern(c.existingBytes, 0, 'O')));
        } else if (c.existingBytes == -2) {
            fs::create_directory(folder.File(79));
        }
        EXPECT_EQ(WriteCylinderFile(data.data(), kCylinder, folder.Path() + c.suffix, 79),
                  c.status);
        if (c.status == 0) {
            EXPECT_EQ(ReadWholeFile(folder.File(79)), data);
        }
    }
}

// A file of another size is rejected (8) before it is opened; one that cannot
// be opened or has gone is unreadable (7).
TEST(CylinderFiles, ReadingChecksTheSizeFirst)
{
    struct Case {
        int bytes;  // -1: no file
        bool held;  // held open exclusively by the test
        int checkStatus;
        int readStatus;
    };
    const Case cases[] = {
        {kCylinder, false, 0, 0},         {kCylinder - 1, true, 8, 8},
        {kCylinder + 1, true, 8, 8},      {kCylinder / 2, true, 8, 8},
        {kCylinder, true, 0, 7},          {-1, false, 7, 7},
    };
    const Bytes data = Pattern(kCylinder, 0, 'F');
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << (c.held ? " bytes, held" : " bytes"));
        TempFolder folder;
        if (c.bytes >= 0) {
            ASSERT_TRUE(WriteWholeFile(folder.File(5), Pattern(c.bytes, 0, 'F')));
        }
        KernelHandle held;
        if (c.held) {
            held.Reset(::CreateFileA(folder.File(5).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held.IsValid());
        }
        Bytes buffer(kCylinder, 0xEE);
        EXPECT_EQ(CheckCylinderFileSize(kCylinder, folder.Path(), 5), c.checkStatus);
        EXPECT_EQ(ReadCylinderFile(buffer.data(), kCylinder, folder.Path(), 5), c.readStatus);
        if (c.readStatus == 0) {
            EXPECT_EQ(buffer, data);
        } else if (c.readStatus == 8) {
            EXPECT_EQ(buffer, Bytes(kCylinder, 0xEE));
        }
    }
}

}  // namespace
