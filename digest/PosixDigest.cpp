// The digests by OpenSSL's libcrypto, the CRC32 by zlib.
#include "digest/Digest.h"

#include <cstdio>

#include <openssl/evp.h>
#include <zlib.h>

namespace {

const EVP_MD* Method(DigestAlgorithm algorithm)
{
    switch (algorithm) {
    case DigestAlgorithm::Md5:
        return EVP_md5();
    case DigestAlgorithm::Sha1:
        return EVP_sha1();
    case DigestAlgorithm::Sha256:
        return EVP_sha256();
    default:
        return EVP_sha512();
    }
}

struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

struct Digest::State {
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context;
    bool hashed = true;  // every piece so far was hashed
};

Digest::Digest(DigestAlgorithm algorithm) : m_state(new State)
{
    m_state->context.reset(EVP_MD_CTX_new());
    if (m_state->context && EVP_DigestInit_ex(m_state->context.get(), Method(algorithm), nullptr) != 1) {
        m_state->context.reset();
    }
}

Digest::~Digest() = default;

bool Digest::Ready() const
{
    return m_state->context && m_state->hashed;
}

void Digest::Add(const void* data, size_t bytes)
{
    if (Ready()) {
        m_state->hashed = EVP_DigestUpdate(m_state->context.get(), data, bytes) == 1;
    }
}

std::string Digest::Finish()
{
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!Ready() || EVP_DigestFinal_ex(m_state->context.get(), value, &size) != 1) {
        return {};
    }
    m_state->hashed = false;  // nothing may be added after the end
    std::string text;
    char pair[3];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", value[i]);
        text += pair;
    }
    return text;
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t bytes)
{
    const Bytef* at = static_cast<const Bytef*>(data);
    // zlib counts in a uInt.
    while (bytes > 0) {
        const uInt piece = static_cast<uInt>(bytes < 0x40000000 ? bytes : 0x40000000);
        crc = static_cast<uint32_t>(crc32(crc, at, piece));
        at += piece;
        bytes -= piece;
    }
    return crc;
}
