// What a shell offers at the word being typed: the client's own commands, options and words.
#pragma once

#include <QString>
#include <QStringList>

namespace quadrel::cli {

// The candidates for the last of `words` (the words after the program's
// name; the last is the one being completed, empty for a new word), one a
// line: "WORD" or "WORD<TAB>DESCRIPTION". What a shell completes itself is
// asked for by a line of its own: ":files EXTENSION", ":dirs" or ":hosts".
// The arguments' words come from each command's usage and notes, the
// options from its parser, the serial ports from what the program opens.
QStringList completions(const QStringList& words);

}  // namespace quadrel::cli
