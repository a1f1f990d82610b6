// The cylinder image file set: cyl00.bin .. cyl79.bin in one folder, each
// exactly one cylinder of raw bytes, no header. Nothing here shows a message.
#pragma once

#include <string>

// The size the file system reports for `name`; false when the file is gone.
bool QueryFileSize(const std::string& name, long long& size);

// 0 when the file of `cylinder` is exactly `bytesPerCylinder` long, 8 when its
// size differs, 7 when its size cannot be read (it has gone).
int CheckCylinderFileSize(int bytesPerCylinder, const std::string& folder, int cylinder);

// Reads the file of `cylinder` into `buffer`. Returns 0, 8 (wrong size, the
// file is not opened) or 7 (it cannot be opened or delivers fewer bytes).
int ReadCylinderFile(unsigned char* buffer, int bytesPerCylinder, std::string folder,
                     int cylinder);

// Creates or replaces the file of `cylinder` with `bytesPerCylinder` bytes.
// Returns 0, or 1 when it cannot be created, written or closed completely.
int WriteCylinderFile(const unsigned char* buffer, int bytesPerCylinder,
                      std::string folder, int cylinder);

// Puts `bytes` bytes at byte `offset` of the existing file of `cylinder`,
// leaving the rest of it as it is. Returns 0, or 1 when the file cannot be
// opened or written completely.
int WriteCylinderFilePart(const unsigned char* data, int offset, int bytes,
                          const std::string& folder, int cylinder);
