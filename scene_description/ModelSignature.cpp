#include "scene_description/ModelSignature.h"

#include <array>
#include <fstream>
#include <memory>
#include <vector>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace Orvana
{

namespace
{

// The key's bytes, each XOR-ed with keyMask.
constexpr unsigned char storedKey[] = {0xca, 0xd7, 0xd3, 0xc4, 0xcb, 0xc4, 0x88, 0xd5, 0xc4, 0xc6, 0xce,
                                       0xc4, 0xc2, 0xc0, 0x88, 0xd6, 0xcc, 0xc2, 0xcb, 0xc4, 0xd1, 0xd0,
                                       0xd7, 0xc0, 0x88, 0xce, 0xc0, 0xdc, 0x88, 0xd3, 0x94};
constexpr unsigned char keyMask = 0xA5;

struct MacDeleter {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacContextDeleter {
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

} // namespace

std::string modelSignatureKey()
{
    std::string key;
    for (unsigned char byte : storedKey)
        key.push_back(static_cast<char>(byte ^ keyMask));
    return key;
}

std::string computeModelSignature(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};

    std::unique_ptr<EVP_MAC, MacDeleter> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (!mac)
        return {};
    std::unique_ptr<EVP_MAC_CTX, MacContextDeleter> context(EVP_MAC_CTX_new(mac.get()));
    if (!context)
        return {};
    char digestName[] = "SHA256";
    const OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                                     OSSL_PARAM_construct_end()};
    const std::string key = modelSignatureKey();
    if (!EVP_MAC_init(context.get(), reinterpret_cast<const unsigned char*>(key.data()), key.size(),
                      parameters))
        return {};

    std::vector<char> block(1 << 16);
    while (file) {
        file.read(block.data(), static_cast<std::streamsize>(block.size()));
        const std::streamsize count = file.gcount();
        if (count > 0 && !EVP_MAC_update(context.get(), reinterpret_cast<const unsigned char*>(block.data()),
                                         static_cast<std::size_t>(count)))
            return {};
    }
    if (file.bad())
        return {};

    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    std::size_t length = 0;
    if (!EVP_MAC_final(context.get(), digest.data(), &length, digest.size()))
        return {};

    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0x0F]);
    }
    return text;
}

} // namespace Orvana
