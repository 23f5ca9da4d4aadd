#include "engine/winzip_aes.h"

#include <cstring>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <vector>

namespace fernhold {

namespace {

constexpr int kIterations = 1000;
constexpr int kCheckBytes = 2;
constexpr int kMacBytes = 10;
constexpr int kBlock = 16;

} // namespace

struct WinZipAesReader::State
{
    int keyBytes = 0;
    QByteArray password;
    Sink sink;
    QByteArray header;  // salt and password check, until complete
    QByteArray held;    // the last bytes seen, which may be the code
    bool ready = false; // keys derived and checked
    bool failed = false;
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* mac = nullptr;
    EVP_MAC_CTX* macContext = nullptr;
    quint64 counter = 0;
    unsigned char stream[kBlock] = {};
    int streamUsed = kBlock;

    ~State()
    {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(macContext);
        EVP_MAC_free(mac);
    }

    [[nodiscard]] int saltBytes() const { return keyBytes / 2; }

    bool start()
    {
        const auto* salt = reinterpret_cast<const unsigned char*>(header.constData());
        std::vector<unsigned char> keys(static_cast<size_t>(2 * keyBytes + kCheckBytes));
        if (PKCS5_PBKDF2_HMAC_SHA1(password.constData(), static_cast<int>(password.size()), salt,
                                   saltBytes(), kIterations, static_cast<int>(keys.size()),
                                   keys.data()) != 1) {
            return false;
        }
        if (std::memcmp(keys.data() + 2 * keyBytes, header.constData() + saltBytes(),
                        kCheckBytes) != 0) {
            return false; // wrong password
        }
        const EVP_CIPHER* ecb = keyBytes == 16   ? EVP_aes_128_ecb()
                                : keyBytes == 24 ? EVP_aes_192_ecb()
                                                 : EVP_aes_256_ecb();
        cipher = EVP_CIPHER_CTX_new();
        if (!cipher || EVP_EncryptInit_ex(cipher, ecb, nullptr, keys.data(), nullptr) != 1 ||
            EVP_CIPHER_CTX_set_padding(cipher, 0) != 1) {
            return false;
        }
        mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        macContext = mac ? EVP_MAC_CTX_new(mac) : nullptr;
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_end()};
        return macContext && EVP_MAC_init(macContext, keys.data() + keyBytes,
                                          static_cast<size_t>(keyBytes), params) == 1;
    }

    // Decrypts `size` bytes of cipher text (the code held back already).
    bool decrypt(const char* data, qint64 size)
    {
        if (EVP_MAC_update(macContext, reinterpret_cast<const unsigned char*>(data),
                           static_cast<size_t>(size)) != 1) {
            return false;
        }
        QByteArray plain(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i) {
            if (streamUsed == kBlock) {
                // The counter runs from 1, little-endian, over the whole block.
                unsigned char block[kBlock] = {};
                quint64 value = ++counter;
                for (int b = 0; b < 8; ++b) {
                    block[b] = static_cast<unsigned char>(value & 0xff);
                    value >>= 8;
                }
                int made = 0;
                if (EVP_EncryptUpdate(cipher, stream, &made, block, kBlock) != 1 ||
                    made != kBlock) {
                    return false;
                }
                streamUsed = 0;
            }
            plain[i] = static_cast<char>(data[i] ^ static_cast<char>(stream[streamUsed++]));
        }
        return sink(plain.constData(), size);
    }
};

WinZipAesReader::WinZipAesReader(int keyBits, const QByteArray& password, Sink sink)
    : m_state(std::make_unique<State>())
{
    m_state->keyBytes = keyBits / 8;
    m_state->password = password;
    m_state->sink = std::move(sink);
}

WinZipAesReader::~WinZipAesReader() = default;

bool WinZipAesReader::feed(const char* data, qint64 size)
{
    State& s = *m_state;
    if (s.failed) {
        return false;
    }
    if (!s.ready) {
        const qint64 wanted = s.saltBytes() + kCheckBytes - s.header.size();
        const qint64 taken = std::min(wanted, size);
        s.header.append(data, taken);
        data += taken;
        size -= taken;
        if (s.header.size() < s.saltBytes() + kCheckBytes) {
            return true;
        }
        if (!s.start()) {
            s.failed = true;
            return false;
        }
        s.ready = true;
    }
    // The last ten bytes are the code, not data: hold them back.
    s.held.append(data, size);
    const qint64 decryptable = s.held.size() - kMacBytes;
    if (decryptable > 0) {
        if (!s.decrypt(s.held.constData(), decryptable)) {
            s.failed = true;
            return false;
        }
        s.held.remove(0, decryptable);
    }
    return true;
}

bool WinZipAesReader::finish()
{
    State& s = *m_state;
    if (s.failed || !s.ready || s.held.size() != kMacBytes) {
        return false;
    }
    unsigned char code[EVP_MAX_MD_SIZE] = {};
    size_t length = 0;
    if (EVP_MAC_final(s.macContext, code, &length, sizeof code) != 1 || length < kMacBytes) {
        return false;
    }
    return std::memcmp(code, s.held.constData(), kMacBytes) == 0;
}

} // namespace fernhold
