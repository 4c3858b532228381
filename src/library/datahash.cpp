#include "library/datahash.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

MdCtx NewDigest(const EVP_MD* md)
{
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1)
        throw std::runtime_error("digest unavailable");
    return ctx;
}

std::string Hex(const unsigned char* bytes, unsigned int size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (unsigned int i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::string FinishDigest(EVP_MD_CTX* ctx, const EVP_MD* md)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(ctx, out, &size);
    std::string text = Hex(out, size);
    EVP_DigestInit_ex(ctx, md, nullptr);
    return text;
}

} // namespace

struct DataHasher::State {
    MdCtx md5 = NewDigest(EVP_md5());
    MdCtx sha1 = NewDigest(EVP_sha1());
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t size = 0;
};

DataHasher::DataHasher() : state_(std::make_unique<State>()) {}
DataHasher::~DataHasher() = default;

void DataHasher::Update(std::span<const std::uint8_t> bytes)
{
    for (HashPart part : kHashParts)
        UpdatePart(part, bytes);
    Count(bytes.size());
}

void DataHasher::UpdatePart(HashPart part, std::span<const std::uint8_t> bytes)
{
    switch (part) {
    case HashPart::Crc32: {
        // zlib takes a 32-bit length: feed it in pieces.
        const std::uint8_t* p = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            uInt piece = left > (1u << 30) ? (1u << 30) : static_cast<uInt>(left);
            state_->crc = crc32(state_->crc, p, piece);
            p += piece;
            left -= piece;
        }
        break;
    }
    case HashPart::Md5:
        EVP_DigestUpdate(state_->md5.get(), bytes.data(), bytes.size());
        break;
    case HashPart::Sha1:
        EVP_DigestUpdate(state_->sha1.get(), bytes.data(), bytes.size());
        break;
    }
}

void DataHasher::Count(std::uint64_t bytes) { state_->size += bytes; }

DataHashes DataHasher::Finish()
{
    DataHashes result;
    result.size = state_->size;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>(state_->crc & 0xFFFFFFFFul));
    result.crc32 = crc;
    result.md5 = FinishDigest(state_->md5.get(), EVP_md5());
    result.sha1 = FinishDigest(state_->sha1.get(), EVP_sha1());
    state_->crc = crc32(0L, Z_NULL, 0);
    state_->size = 0;
    return result;
}
