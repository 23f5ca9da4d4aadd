#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace fernhold {

// Decrypts the raw data of a WinZip AES entry (salt, password check, data,
// authentication code) as it streams in. Needed for AE-2 entries, which
// 7-Zip writes with a CRC field of 0 and libzip 1.7 then refuses to read.
class WinZipAesReader
{
public:
    using Sink = std::function<bool(const char* data, qint64 size)>;

    // `keyBits` 128, 192 or 256; `sink` receives the decrypted bytes.
    WinZipAesReader(int keyBits, const QByteArray& password, Sink sink);
    ~WinZipAesReader();
    WinZipAesReader(const WinZipAesReader&) = delete;
    WinZipAesReader& operator=(const WinZipAesReader&) = delete;

    // Takes the next raw bytes; false on a wrong password, a crypto failure
    // or when the sink refuses.
    [[nodiscard]] bool feed(const char* data, qint64 size);
    // True when all the data came and their authentication code matches.
    [[nodiscard]] bool finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace fernhold
