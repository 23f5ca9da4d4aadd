#include "core/text_table.h"

#include "core/protected_text.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <mutex>

namespace fernhold {

namespace {

struct TextMap
{
    QMutex mutex;
    QHash<QString, QString> texts;
};

TextMap& textMap()
{
    static TextMap map;
    static std::once_flag filled;
    std::call_once(filled, [] {
        for (std::size_t i = 0; i < kCompiledTextCount; ++i) {
            map.texts.insert(QString::fromLatin1(kCompiledTexts[i].key),
                             UnscrambleConstant(QByteArray(kCompiledTexts[i].scrambled)));
        }
    });
    return map;
}

} // namespace

void UnscrambleConstants()
{
    textMap();
}

QString Text(const QString& key)
{
    TextMap& map = textMap();
    QMutexLocker lock(&map.mutex);
    auto it = map.texts.find(key);
    if (it == map.texts.end()) {
        map.texts.insert(key, QString());
        return {};
    }
    return it.value();
}

QString Text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

int TextCount()
{
    TextMap& map = textMap();
    QMutexLocker lock(&map.mutex);
    return static_cast<int>(map.texts.size());
}

} // namespace fernhold
