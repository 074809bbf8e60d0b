#pragma once

#include <QByteArray>
#include <QStringList>

class TRegistryStore;

// The settings tree below the base key in the text format of the Windows registry editor
// ("Windows Registry Editor Version 5.00"), so catalogues move between machines and values of
// any type can be planted. Qt Core only.
namespace RegFile {

// Every key from the base key down (subkeys by name, values in enumeration order), CR LF
// lines, UTF-8 or, as the Windows registry editor writes it, UTF-16LE with a byte order mark.
// Only names that Import reads back unchanged are written: a key or value whose name holds a
// line break or broken UTF-16 is left out, and skipped says which (German, one per item).
QByteArray Export(TRegistryStore& store, bool utf16 = false, QStringList* skipped = nullptr);

// Merges a file into the store as the registry editor does: keys and values are added or
// overwritten, "[-key]" and "\"name\"=-" delete, nothing else is removed. Accepts UTF-16 with
// a byte order mark, UTF-8 and (for old REGEDIT4 files) Latin-1, with LF or CR LF lines. Keys
// outside the base key are skipped; the returned warnings say which. The whole file is one
// transaction: a syntax error (TError naming the line) changes nothing.
QStringList Import(TRegistryStore& store, const QByteArray& file);

} // namespace RegFile
