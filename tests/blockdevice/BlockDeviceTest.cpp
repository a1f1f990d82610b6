// The engine on the real platform with its drives on kernel block devices,
// as a USB floppy drive is under Wine: no driver answers the geometry and the
// file size is 0, so the platform finds the medium's size by reading. Run by
// with-loop-drives.sh (see CMakeLists.txt), which names each drive's device in
// TRAKONI_LOOP_<LETTER>.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

const uint32_t kTag = 0x6c6f6f70;

// The whole medium, read on the host device beside the engine's handle.
Bytes DeviceBytes(char letter)
{
    const char* device = std::getenv((std::string("TRAKONI_LOOP_") + letter).c_str());
    EXPECT_NE(device, nullptr) << "drive " << letter << ": is on no loop device";
    return device != nullptr ? ReadWholeFile(WinePathOf(device)) : Bytes();
}

class BlockDeviceTest : public ::testing::Test {
protected:
    // The one message the engine showed, or what it showed instead.
    void ExpectOneMessage(const std::string& text, const std::string& caption)
    {
        ASSERT_EQ(m_platform.messages.size(), 1u);
        EXPECT_EQ(m_platform.messages[0].text, text);
        EXPECT_EQ(m_platform.messages[0].caption, caption);
    }

    // The offset pattern of a disk of `cylinderBytes`-byte cylinders, as the
    // 80 files of the source folder.
    const std::string& PatternSet(size_t cylinderBytes)
    {
        for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
            EXPECT_TRUE(WriteWholeFile(m_source.File(cylinder),
                                       Pattern(cylinderBytes, cylinder * cylinderBytes, kTag)));
        }
        return m_source.Path();
    }

    RecordingPlatform m_platform;
    ScopedPlatformOverride m_override{m_platform};
    TempFolder m_source;
    TempFolder m_copy;
};

TEST_F(BlockDeviceTest, FloppySizedDevicesCopyToFilesAndBackByteForByte)
{
    struct Case {
        char letter;
        size_t cylinderBytes;
    };
    for (const Case c : {Case{'A', 18432}, Case{'B', 9216}}) {
        SCOPED_TRACE(std::string(1, c.letter) + ":");
        const size_t diskBytes = c.cylinderBytes * kCylinderCount;
        EXPECT_EQ(CopyFilesToDisk(c.letter, PatternSet(c.cylinderBytes)), EngineStatus::Success);
        EXPECT_TRUE(DeviceBytes(c.letter) == Pattern(diskBytes, 0, kTag))
            << "the device does not hold the files";

        EXPECT_EQ(CopyDiskToFiles(c.letter, m_copy.Path()), EngineStatus::Success);
        for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
            EXPECT_TRUE(ReadWholeFile(m_copy.File(cylinder)) ==
                        Pattern(c.cylinderBytes, cylinder * c.cylinderBytes, kTag))
                << "cylinder " << cylinder;
        }
        EXPECT_TRUE(m_platform.messages.empty()) << m_platform.messages[0].text;
        m_platform.messages.clear();
    }
}

// Media that end off every standard size, or go past all of them.
TEST_F(BlockDeviceTest, DevicesOfNoFloppySizeAreNeitherReadNorWritten)
{
    const std::string source = PatternSet(18432);
    const struct {
        char letter;
        const char* what;
    } cases[] = {{'E', "3 MB"}, {'F', "1.44 MB less one sector"}, {'G', "1.44 MB and one sector"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = DeviceBytes(c.letter);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(CopyFilesToDisk(c.letter, source), EngineStatus::Failure);
        ExpectOneMessage("Disk is either missing or damaged", "ERROR");
        EXPECT_TRUE(DeviceBytes(c.letter) == before) << "the device was written";

        m_platform.messages.clear();
        EXPECT_EQ(CopyDiskToFiles(c.letter, m_copy.Path()), EngineStatus::Failure);
        ExpectOneMessage("Disk is either missing or damaged", "ERROR");
        EXPECT_TRUE(ReadWholeFile(m_copy.File(0)).empty()) << "a file was written";
        m_platform.messages.clear();
    }
}

}  // namespace
