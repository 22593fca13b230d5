// The three SHA-256 calls of nettle that the library's tests make, on the
// system's own hashing (CNG): Debian builds no nettle for Windows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#define SHA256_DIGEST_SIZE 32

struct sha256_ctx {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

inline void sha256_init(sha256_ctx *ctx) {
    if (BCryptOpenAlgorithmProvider(&ctx->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(ctx->algorithm, &ctx->hash, nullptr, 0, nullptr, 0, 0) != 0)
        throw std::runtime_error("the system offers no SHA-256");
}

inline void sha256_update(sha256_ctx *ctx, size_t length, const uint8_t *data) {
    // In pieces that fit the call's 32-bit length.
    for (ULONG piece; length > 0; data += piece, length -= piece) {
        piece = static_cast<ULONG>(length > 0x40000000u ? 0x40000000u : length);
        BCryptHashData(ctx->hash, const_cast<PUCHAR>(data), piece, 0);
    }
}

inline void sha256_digest(sha256_ctx *ctx, size_t length, uint8_t *digest) {
    uint8_t full[SHA256_DIGEST_SIZE];
    BCryptFinishHash(ctx->hash, full, SHA256_DIGEST_SIZE, 0);
    for (size_t i = 0; i < length && i < SHA256_DIGEST_SIZE; ++i) digest[i] = full[i];
    BCryptDestroyHash(ctx->hash);
    BCryptCloseAlgorithmProvider(ctx->algorithm, 0);
    *ctx = sha256_ctx{};
}
