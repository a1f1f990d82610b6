// The size rules of a cylinder set and an image, and the names of formats, on
// any sizes: a set's 80 file sizes (negative: missing) and a drive's geometry.
#include <cstdint>
#include <cstring>

#include "cli/Formats.h"
#include "engine/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CylinderSizes sizes{};
    DriveGeometry geometry{};
    if (size < sizeof sizes + sizeof geometry) {
        return 0;
    }
    std::memcpy(sizes.data(), data, sizeof sizes);
    std::memcpy(&geometry, data + sizeof sizes, sizeof geometry);
    const FileSetSurvey survey = SurveyCylinderSizes(sizes);
    IsConvertibleCylinderSize(survey.bytesPerCylinder);
    FormatOfCylinderSize(survey.bytesPerCylinder);
    FormatOfCylinderSize(sizes[0]);
    FormatOfGeometry(geometry);
    return 0;
}
