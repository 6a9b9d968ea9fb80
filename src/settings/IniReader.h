#pragma once

#include <QByteArray>
#include <QString>

// Reads one value of a private-profile (INI) file, by the rules the Windows program relied on:
// section and key names match without regard to ASCII case; the value is the text after the first
// "=" of the key's line, without blanks, tabs or vertical tabs at its ends and without one pair of
// enclosing double or single quotes, cut to 1023 bytes; the first matching section and, in it, the
// first matching key count. A line that begins with "[" is a section header, its closing "]"
// or not: without one, the rest of the line names the section. Lines end at CR, LF or CR LF; a
// UTF-8 byte-order mark at the start is skipped. A file that begins with a UTF-16 byte-order mark
// (LE or BE) is read as that text, in its Windows-874 form.
//
// A missing file, section or key gives `defaultValue` (without its trailing blanks, cut to 1023
// bytes). A file that exists but cannot be read (no permission, a folder, a broken link, not a
// regular file, a read error, larger than 1 MiB, UTF-16 text that Windows-874 cannot hold) also
// gives the default, and says why in *error (a status line), so that the caller can tell it from a
// missing one and keep from overwriting it. *error is cleared otherwise.
//
// A null `key` lists the names of all keys of the section instead, each followed by a NUL, cut to
// 4094 bytes. Names are compared in their Windows-874 form; values are returned as the file's
// bytes. *found (when given) tells whether a value came from the file rather than the default.
QByteArray ReadIniString(const QString &section, const QString &key, const QByteArray &defaultValue,
                         const QString &fileName, QString *error = nullptr, bool *found = nullptr);
