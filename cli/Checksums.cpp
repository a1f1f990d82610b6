#include "cli/Checksums.h"

#include <cstdio>

Checksums::Checksums() = default;

bool Checksums::Ready() const
{
    return m_md5.Ready() && m_sha1.Ready() && m_sha256.Ready();
}

void Checksums::Add(const unsigned char* data, uint32_t bytes)
{
    m_crc32 = UpdateCrc32(m_crc32, data, bytes);
    for (Digest* digest : {&m_md5, &m_sha1, &m_sha256}) {
        digest->Add(data, bytes);
    }
}

std::string Checksums::Crc32() const
{
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(m_crc32));
    return text;
}
