#include "cli/Checksums.h"

#include <cstdio>

namespace {

ScopedHandle<CryptHashTraits> NewHash(HCRYPTPROV provider, ALG_ID algorithm)
{
    HCRYPTHASH hash = 0;
    if (provider == 0 || !::CryptCreateHash(provider, algorithm, 0, 0, &hash)) {
        return {};
    }
    return ScopedHandle<CryptHashTraits>(hash);
}

std::string Hex(const BYTE* bytes, DWORD count)
{
    std::string text;
    char pair[3];
    for (DWORD i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

}  // namespace

Checksums::Checksums()
{
    // Not in the import library of every toolchain: looked up at run time.
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr) {
        m_computeCrc32 = reinterpret_cast<ComputeCrc32>(
            reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlComputeCrc32")));
    }
    // The AES provider is the one that has SHA-256; no keys, so no key container.
    HCRYPTPROV provider = 0;
    if (::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        m_provider.Reset(provider);
    }
    m_md5 = NewHash(m_provider.Get(), CALG_MD5);
    m_sha1 = NewHash(m_provider.Get(), CALG_SHA1);
    m_sha256 = NewHash(m_provider.Get(), CALG_SHA_256);
}

bool Checksums::Ready() const
{
    return m_computeCrc32 != nullptr && m_md5 && m_sha1 && m_sha256 && m_hashed;
}

void Checksums::Add(const unsigned char* data, uint32_t bytes)
{
    if (!Ready()) {
        return;
    }
    m_crc32 = m_computeCrc32(m_crc32, data, static_cast<INT>(bytes));
    for (const ScopedHandle<CryptHashTraits>* hash : {&m_md5, &m_sha1, &m_sha256}) {
        m_hashed = m_hashed && ::CryptHashData(hash->Get(), data, bytes, 0) != FALSE;
    }
}

std::string Checksums::Crc32() const
{
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(m_crc32));
    return text;
}

std::string Checksums::Value(const ScopedHandle<CryptHashTraits>& hash) const
{
    BYTE value[32] = {};
    DWORD size = sizeof value;
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &size, 0)) {
        return {};
    }
    return Hex(value, size);
}
