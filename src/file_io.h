// Files by their UTF-8 names on every platform: opening, renaming, making
// folders, and telling whether two names lead to one file. On Windows through
// the wide-character interface, so that any name and long paths work there.
#ifndef VLN_FILE_IO_H
#define VLN_FILE_IO_H

#include <cstdint>
#include <cstdio>
#include <string>

// Opens a file as fopen does.
FILE* File_open(const char* path, const char* mode);
// Makes what was written through fp durable: the C library's buffer, then the
// system's (fdatasync; FlushFileBuffers on Windows), so that a power cut keeps
// it. False when either fails.
bool File_sync(FILE* fp);
// Whether fp reads a file on a disk, which can be read again from its start
// (not a pipe, a terminal or a device).
bool File_is_on_disk(FILE* fp);
// A new file of its own in the system's folder for temporary files, opened
// for writing and reading, removed when it is closed; nullptr on failure.
FILE* File_temporary();
// Whether anything (a file or a folder) has this name.
bool File_exists(const std::string& path);
// Removes a file; false when it cannot be removed (or was not there).
bool File_remove(const std::string& path);
// Cuts a file to its first size bytes; false when that fails.
bool File_truncate(const std::string& path, uint64_t size);
// Renames a file, replacing the target if it exists; false when that fails.
bool File_rename(const std::string& from, const std::string& to);
// True when both names lead to the same existing file.
bool File_same(const char* a, const std::string& b);
// Creates a folder and its parents when missing; false with the reason.
bool File_make_folders(const std::string& dir, std::string* why);
// The characters that separate folders in a path.
const char* File_separators();
// The last part of a path: the file's name without its folders.
std::string File_base_name(const std::string& path);
// The extended-length form Windows opens beyond 260 characters of a full
// path: \\?\C:\... for a drive, \\?\UNC\server\share\... for a network share.
std::wstring File_extended_path(const std::wstring& full);

#endif
