// The checksums archives publish for a disk image, computed by the system
// (digest/Digest.h): CRC32, MD5, SHA-1 and SHA-256, over the bytes as they
// are added.
#pragma once

#include <cstdint>
#include <string>

#include "digest/Digest.h"

class Checksums {
public:
    Checksums();
    // False when the system could not provide every algorithm.
    bool Ready() const;
    void Add(const unsigned char* data, uint32_t bytes);

    // Lower-case hexadecimal, as crc32, md5sum, sha1sum and sha256sum print
    // them. Each ends its digest: asked once, after the last Add().
    std::string Crc32() const;
    std::string Md5() { return m_md5.Finish(); }
    std::string Sha1() { return m_sha1.Finish(); }
    std::string Sha256() { return m_sha256.Finish(); }

private:
    uint32_t m_crc32 = 0;
    Digest m_md5{DigestAlgorithm::Md5};
    Digest m_sha1{DigestAlgorithm::Sha1};
    Digest m_sha256{DigestAlgorithm::Sha256};
};
