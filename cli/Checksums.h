// The checksums archives publish for a disk image, computed by the system:
// CRC32 by ntdll's RtlComputeCrc32, MD5, SHA-1 and SHA-256 by the
// cryptography API (CryptoAPI), over the bytes as they are added.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ScopedHandle.h"
#include "platform/Win32.h"

#include <wincrypt.h>

struct CryptProviderTraits {
    using Handle = HCRYPTPROV;
    static Handle Invalid() { return 0; }
    static bool IsValid(Handle h) { return h != 0; }
    static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};

struct CryptHashTraits {
    using Handle = HCRYPTHASH;
    static Handle Invalid() { return 0; }
    static bool IsValid(Handle h) { return h != 0; }
    static void Close(Handle h) { ::CryptDestroyHash(h); }
};

class Checksums {
public:
    Checksums();
    // False when the system could not provide every algorithm.
    bool Ready() const;
    void Add(const unsigned char* data, uint32_t bytes);

    // Lower-case hexadecimal, as crc32, md5sum, sha1sum and sha256sum print them.
    std::string Crc32() const;
    std::string Md5() const { return Value(m_md5); }
    std::string Sha1() const { return Value(m_sha1); }
    std::string Sha256() const { return Value(m_sha256); }

private:
    using ComputeCrc32 = DWORD(WINAPI*)(DWORD, const BYTE*, INT);

    std::string Value(const ScopedHandle<CryptHashTraits>& hash) const;

    ComputeCrc32 m_computeCrc32 = nullptr;
    DWORD m_crc32 = 0;
    bool m_hashed = true;  // every piece so far reached every hash
    // The provider outlives its hashes: members are destroyed in reverse order.
    ScopedHandle<CryptProviderTraits> m_provider;
    ScopedHandle<CryptHashTraits> m_md5;
    ScopedHandle<CryptHashTraits> m_sha1;
    ScopedHandle<CryptHashTraits> m_sha256;
};
