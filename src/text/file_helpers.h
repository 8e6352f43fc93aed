#pragma once
// Small file and buffer helpers.
//
// Paths here are file-system paths: UTF-8, as Linux file names are. A path or name held in the
// system's text (GB18030: an attachment, an inline image, a name cut from a page) goes through
// FileSystemPath right before it reaches one of these calls.

#include <string>
#include <string_view>

namespace sorvik {

// The file-system form (UTF-8) of a path held in the system's text (GB18030). The one
// conversion for every such path, so that 价目表.txt is found and written under a name that any
// file manager shows. Bytes that are not a GB18030 character (a name that came from a disk in
// another encoding, carried in a fruit file) stay as they are instead of becoming "?", so two
// such names never fall together and the same bytes find the same file again.
std::string FileSystemPath(std::string_view gbPath);

// True when the path names an existing file or folder.
bool FileExists(const std::string& path);

// Reads the whole regular file into out. False (and out empty) when it is missing, is not a
// regular file (a folder, a device), or can't be opened or read whole.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes the bytes as the whole content of the file (created or truncated). False on failure.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Appends bytes to the buffer; appending nothing changes nothing.
void AppendBytes(std::string& buffer, std::string_view bytes);

// Creates the folder and its missing parents. True when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Joins two path parts with exactly one "/".
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace sorvik
