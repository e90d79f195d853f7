// What the program does with the ZIP archive library: the viewer's Delete
// and Add, and Decompress File for ZIP archives.  Everything it needs
// from the library is here.
#pragma once

#include <QString>
#include <QStringList>

#include "archive/core/ArcTypes.h"

class QWidget;

namespace app {

// The archive types the library changes and extracts (plain and
// self-extracting ZIP).
bool zipWritable(TArcType type);

// Deletes the members stored under each of names from archive (of the
// given type), then saves it once.  Failures and
// archives that are not ZIP archives are shown to the user; true when the
// archive was saved.
bool zipDeleteMembers(QWidget* owner, const QString& archive, TArcType type,
                      const QStringList& names);

// Adds file to the archive under its own name and saves it; the same
// rules.
bool zipAddFile(QWidget* owner, const QString& archive, TArcType type, const QString& file);

// NotForTheLibrary: some member is AES-encrypted or packed with a method
// only the archive extractor decodes; nothing was done.
enum class ZipExtractResult { Done, Cancelled, Failed, NotForTheLibrary };
// Every member of archive into target with its stored folders, with the
// two-bar progress window (its Cancel stops after the member being
// written), the overwrite question and the password prompt.
ZipExtractResult zipExtractAll(QWidget* owner, const QString& archive, const QString& target);

// The compress dialog's ZIP branch: adds the files matching each of masks
// (base directory and recursion as given) to archive, at maximum
// compression, and saves once with the progress window (its Cancel leaves
// the archive as it was).  Failures are shown; true when saved.
bool zipCompress(QWidget* owner, const QString& archive, const QString& baseDirectory, bool recurse,
                 const QStringList& masks);

// Make .EXE File's join: stub followed by archive, written to target
// through a temporary file, so that a failure (shown to the user) leaves
// no half-written program and an existing target as it was.  True when
// target was written.
bool zipMakeSelfExtractor(QWidget* owner, const QString& stub, const QString& archive,
                          const QString& target);

} // namespace app
