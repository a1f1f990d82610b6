// The engine on the real platform with its drives on kernel block devices, as
// a USB floppy drive is under Wine: no driver answers the geometry and the
// file size is 0, so the platform finds the medium's size by reading. Run by
// with-loop-drives.sh, which names each drive's device in TRAKONI_LOOP_<LETTER>.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

// The whole medium, read on the host device beside the engine's handle.
Bytes DeviceBytes(char letter)
{
    const char* device = std::getenv((std::string("TRAKONI_LOOP_") + letter).c_str());
    return device != nullptr ? ReadWholeFile(WinePathOf(device)) : Bytes();
}

class BlockDevice : public ::testing::Test {
protected:
    RecordingPlatform m_platform;
    ScopedPlatformOverride m_override{m_platform};
    TempFolder m_source, m_copy;
};

TEST_F(BlockDevice, FloppySizedDevicesCopyToFilesAndBackByteForByte)
{
    for (const auto& [letter, format] : {std::pair{'A', k144}, std::pair{'B', k720}}) {
        SCOPED_TRACE(letter);
        const Bytes disk = Pattern(format.MediumBytes(), 0, 'L');
        m_source.WriteSet(disk);
        EXPECT_EQ(CopyFilesToDisk(letter, m_source.Path()), 0);
        EXPECT_TRUE(DeviceBytes(letter) == disk) << "the device does not hold the files";
        EXPECT_EQ(CopyDiskToFiles(letter, m_copy.Path()), 0);
        EXPECT_TRUE(m_copy.ReadSet() == disk);
        EXPECT_EQ(m_platform.messages, std::vector<std::string>{});
    }
}

// Media that end off every standard size, or go past all of them: 3 MB, and
// 1.44 MB less or more one sector.
TEST_F(BlockDevice, DevicesOfNoFloppySizeAreNeitherReadNorWritten)
{
    m_source.WriteSet(Pattern(k144.MediumBytes(), 0, 'L'));
    for (const char letter : {'E', 'F', 'G'}) {
        SCOPED_TRACE(letter);
        const Bytes before = DeviceBytes(letter);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(CopyFilesToDisk(letter, m_source.Path()), 1);
        EXPECT_EQ(CopyDiskToFiles(letter, m_copy.Path()), 1);
        EXPECT_EQ(m_platform.messages, std::vector<std::string>(2, "ERROR: Disk is either missing or damaged"));
        EXPECT_TRUE(DeviceBytes(letter) == before) << "the device was written";
        EXPECT_TRUE(ReadWholeFile(m_copy.File(0)).empty()) << "a file was written";
        m_platform.messages.clear();
    }
}

}  // namespace
