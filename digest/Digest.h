// Message digests and the CRC32, for the checksums archives publish and the
// manifests of a bag, computed by the system's own routines: CryptoAPI and
// ntdll on Windows, libcrypto and zlib elsewhere. No hashing code of ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class DigestAlgorithm { Md5, Sha1, Sha256, Sha512 };

// One running digest over the bytes added to it.
class Digest {
public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    // False when the system could not provide the algorithm, or a piece added
    // so far could not be hashed.
    bool Ready() const;
    void Add(const void* data, size_t bytes);
    // Lower-case hexadecimal, as md5sum and its kin print it; empty when not
    // Ready(). Ends the digest: nothing may be added afterwards.
    std::string Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The CRC32 of zlib and of the crc32 tool: `crc` is 0 at the start, and the
// value returned goes into the next call.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t bytes);
