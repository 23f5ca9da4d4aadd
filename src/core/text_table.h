#pragma once

#include <QString>
#include <cstddef>

namespace fernhold {

// One entry of the table compiled into the program: the key and the
// scrambled text (see ScrambleConstant).
struct CompiledText
{
    const char* key;
    const char* scrambled;
};

// Generated at build time from texts_en.tsv.
extern const CompiledText kCompiledTexts[];
extern const std::size_t kCompiledTextCount;

// Turns the compiled table into the process-wide map of plain texts. Runs once;
// later calls and Text() before the first call are safe.
void UnscrambleConstants();

// The text of a key. A key the table lacks gives "" and is remembered with an
// empty text, so a missing text never shows the key itself.
QString Text(const QString& key);
// The same for a key written as a literal: Text("TXT00041").
QString Text(const char* key);

// Number of keys in the map (the compiled ones plus any looked up but missing).
int TextCount();

} // namespace fernhold
