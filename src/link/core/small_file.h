// Reading the small text files beside the program (corvane.ini, com_ports.txt,
// output_reso.txt) without ever blocking on something that is no file.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace quadrel {

struct SmallFile {
  enum class Result {
    Ok,          // `text` holds the file's first `limit` bytes
    Missing,     // nothing by that name
    NotAFile,    // a FIFO, directory, device or socket: `kind` says which
    Unreadable,  // a file that cannot be read: `error` says why
  };
  Result result = Result::Missing;
  std::string text;
  std::string kind;   // "a FIFO", "a directory", ...
  std::string error;  // the system's reason

  // What kept the file from being read, to follow its name: "is missing",
  // "is a FIFO, not a file", "cannot be read (Permission denied)"; empty when read.
  std::string problem() const;
};

// What a file of this mode is, for a message: "a FIFO", "a directory",
// "a character device", "a block device", "a socket", "a regular file".
std::string file_kind(mode_t mode);

// Reads a regular file, at most `limit` bytes. Anything else is named, never
// opened for reading: a FIFO with no writer would wait for ever, a device
// might never end.
SmallFile read_small_file(const std::string& path, std::size_t limit);

}  // namespace quadrel
