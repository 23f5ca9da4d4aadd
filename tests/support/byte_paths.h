#pragma once

#include "run_program.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace fernhold::test {

// Files, folders and programs by the bytes of their paths, for names that are
// not UTF-8 (Qt's file classes and QProcess would encode them as UTF-8). These
// use the system calls directly, so a test checks Fernhold's name handling
// with means of its own.

// The bytes of a path Qt spells (the temporary homes are ASCII).
[[nodiscard]] QByteArray NativePath(const QString& path);

// Writes `content` to `path`, making the missing folders. True on success.
bool WriteBytesFile(const QByteArray& path, const QByteArray& content);

// The content of the file at `path`; no value when it cannot be read.
[[nodiscard]] std::optional<QByteArray> ReadBytesFile(const QByteArray& path);

// The names in a folder ("." and ".." left out), sorted; empty when it cannot be listed.
[[nodiscard]] QList<QByteArray> NamesInFolder(const QByteArray& folder);

// Every regular file below `folder` as a path relative to it, sorted.
[[nodiscard]] QList<QByteArray> FilesBelowFolder(const QByteArray& folder);

// Runs `program` with arguments of any bytes, the current environment and
// `workingFolder` (empty: the current one) as its folder, feeds `input` to
// its standard input and waits up to `timeoutMs`.
RunResult RunWithByteArguments(const QByteArray& program, const QList<QByteArray>& arguments,
                               const QByteArray& input = {}, int timeoutMs = 120000,
                               const QByteArray& workingFolder = {});

// The real fernhold program with arguments of any bytes.
RunResult RunFernholdBytes(const QList<QByteArray>& arguments, const QByteArray& input = {},
                           int timeoutMs = 120000);

} // namespace fernhold::test
