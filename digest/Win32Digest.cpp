// The digests by the cryptography API (CryptoAPI), the CRC32 by ntdll.
#include "digest/Digest.h"

#include <cstdio>

#include "drive/win32/ScopedHandle.h"
#include "platform/Win32.h"

#include <wincrypt.h>

namespace {

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

ALG_ID AlgorithmId(DigestAlgorithm algorithm)
{
    switch (algorithm) {
    case DigestAlgorithm::Md5:
        return CALG_MD5;
    case DigestAlgorithm::Sha1:
        return CALG_SHA1;
    case DigestAlgorithm::Sha256:
        return CALG_SHA_256;
    default:
        return CALG_SHA_512;
    }
}

using ComputeCrc32 = DWORD(WINAPI*)(DWORD, const BYTE*, INT);

// Not in the import library of every toolchain: looked up at run time, once.
ComputeCrc32 Crc32Routine()
{
    static const ComputeCrc32 routine = [] {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll == nullptr ? nullptr
                                : reinterpret_cast<ComputeCrc32>(reinterpret_cast<void (*)()>(
                                      ::GetProcAddress(ntdll, "RtlComputeCrc32")));
    }();
    return routine;
}

}  // namespace

// The provider outlives its hash: members are destroyed in reverse order.
struct Digest::State {
    ScopedHandle<CryptProviderTraits> provider;
    ScopedHandle<CryptHashTraits> hash;
    bool hashed = true;  // every piece so far was hashed
};

Digest::Digest(DigestAlgorithm algorithm) : m_state(new State)
{
    // The AES provider is the one that has SHA-256 and SHA-512; no keys, so no
    // key container.
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return;
    }
    m_state->provider.Reset(provider);
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider, AlgorithmId(algorithm), 0, 0, &hash)) {
        m_state->hash.Reset(hash);
    }
}

Digest::~Digest() = default;

bool Digest::Ready() const
{
    return m_state->hash && m_state->hashed;
}

void Digest::Add(const void* data, size_t bytes)
{
    const BYTE* at = static_cast<const BYTE*>(data);
    // CryptHashData counts in a DWORD.
    while (Ready() && bytes > 0) {
        const DWORD piece = static_cast<DWORD>(bytes < 0x40000000 ? bytes : 0x40000000);
        m_state->hashed = ::CryptHashData(m_state->hash.Get(), at, piece, 0) != FALSE;
        at += piece;
        bytes -= piece;
    }
}

std::string Digest::Finish()
{
    BYTE value[64] = {};
    DWORD size = sizeof value;
    if (!Ready() || !::CryptGetHashParam(m_state->hash.Get(), HP_HASHVAL, value, &size, 0)) {
        return {};
    }
    m_state->hashed = false;  // nothing may be added after the end
    std::string text;
    char pair[3];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", value[i]);
        text += pair;
    }
    return text;
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t bytes)
{
    const ComputeCrc32 compute = Crc32Routine();
    const BYTE* at = static_cast<const BYTE*>(data);
    while (compute != nullptr && bytes > 0) {
        const INT piece = static_cast<INT>(bytes < 0x40000000 ? bytes : 0x40000000);
        crc = compute(crc, at, piece);
        at += piece;
        bytes -= static_cast<size_t>(piece);
    }
    return crc;
}
